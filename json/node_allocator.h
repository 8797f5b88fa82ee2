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
#include <cstdlib>
#include <cstring>

#if !defined(OMBRELK_PLAIN_ALLOCATION)
#if defined(__SANITIZE_ADDRESS__)
#define OMBRELK_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OMBRELK_PLAIN_ALLOCATION 1
#endif
#endif
#endif

namespace ombrelk::detail {

// A block of at least `bytes` bytes, 16-byte aligned, not initialised;
// nullptr when storage runs out. Free it with the same size.
inline void* AllocateBlock(size_t bytes);
inline void FreeBlock(void* block, size_t bytes);

// A UTF-16 text buffer of `length` code units plus a terminating zero (set);
// nullptr when storage runs out. Free it with the same length.
char16_t* AllocateText(int32_t length);
void FreeText(char16_t* text, int32_t length);

// Copies `count` code units (count >= 0; the ranges do not overlap). Short
// texts, the keys and values that fit in a node, are copied with a few
// fixed-size moves instead of a call.
inline void CopyUnits(char16_t* to, const char16_t* from, int32_t count) {
  if (count >= 4 && count <= 16) {
    if (count <= 8) {
      std::memcpy(to, from, 8);
      std::memcpy(to + count - 4, from + count - 4, 8);
    } else {
      std::memcpy(to, from, 16);
      std::memcpy(to + count - 8, from + count - 8, 16);
    }
  } else if (count >= 2 && count < 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + count - 2, from + count - 2, 4);
  } else if (count == 1) {
    to[0] = from[0];
  } else if (count > 16) {
    std::memcpy(to, from, sizeof(char16_t) * static_cast<size_t>(count));
  }
}

#if defined(OMBRELK_PLAIN_ALLOCATION)

inline void* AllocateBlock(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }
inline void FreeBlock(void* block, size_t) { std::free(block); }

#else

// Size classes: 16-byte steps up to 256 bytes (classes 0..15), then powers
// of two up to 64 KiB (classes 16..23). Larger blocks bypass the lists.
inline constexpr int kClassCount = 24;
inline constexpr size_t kLargestClassBytes = 65536;

constexpr int ClassOf(size_t bytes) {
  if (bytes <= 256) return bytes == 0 ? 0 : static_cast<int>((bytes + 15) / 16) - 1;
  int log2 = 64 - __builtin_clzll(bytes - 1);  // ceil(log2(bytes)), >= 9
  return 16 + (log2 - 9);
}

struct FreeLink {
  FreeLink* next;
};

struct ThreadClass {
  FreeLink* head;
  uint32_t count;
  uint32_t limit;  // blocks kept before half go back; 0 until the thread is set up
};

// Trivially constructed and destroyed, so it stays usable after the thread's
// exit handlers ran; then every limit is 0 and all traffic takes the slow
// path to the process-wide lists.
struct ThreadLists {
  ThreadClass classes[kClassCount];
  int state;  // 0 new, 1 in use, 2 ended
};

extern thread_local constinit ThreadLists t_lists;

void* AllocateSlow(size_t bytes);
void FreeSlow(void* block, size_t bytes);

inline void* AllocateBlock(size_t bytes) {
  if (bytes <= kLargestClassBytes) {
    ThreadClass& tc = t_lists.classes[ClassOf(bytes)];
    if (FreeLink* link = tc.head) {
      tc.head = link->next;
      --tc.count;
      return link;
    }
  }
  return AllocateSlow(bytes);
}

inline void FreeBlock(void* block, size_t bytes) {
  if (block != nullptr && bytes <= kLargestClassBytes) {
    ThreadClass& tc = t_lists.classes[ClassOf(bytes)];
    if (tc.count < tc.limit) {
      auto* link = static_cast<FreeLink*>(block);
      link->next = tc.head;
      tc.head = link;
      ++tc.count;
      return;
    }
  }
  FreeSlow(block, bytes);
}

#endif  // OMBRELK_PLAIN_ALLOCATION

}  // namespace ombrelk::detail
