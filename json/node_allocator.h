// Storage for nodes, texts, tables and lists of the JSON library.
//
// Small blocks come from size-class free lists kept per thread, refilled
// from (and, past a limit, returned to) process-wide lists, which take their
// memory from large slabs. A block may be freed on any thread: it simply
// joins that thread's list. A thread's lists go back to the process-wide
// ones when it ends. Slabs are kept for the life of the process; large
// blocks go straight to malloc and free.
//
// Built with AddressSanitizer (or OMBRELK_PLAIN_ALLOCATION defined), every
// block is a plain malloc, so the sanitizer sees each use after free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrelk::detail {

// A block of at least `bytes` bytes, 16-byte aligned, not initialised;
// nullptr when storage runs out. Free it with the same size.
void* AllocateBlock(size_t bytes);
void FreeBlock(void* block, size_t bytes);

// A UTF-16 text buffer of `length` code units plus a terminating zero (set);
// nullptr when storage runs out. Free it with the same length.
char16_t* AllocateText(int32_t length);
void FreeText(char16_t* text, int32_t length);

}  // namespace ombrelk::detail
