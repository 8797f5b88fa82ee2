// The thin file layer every file of a run goes through: 64-bit offsets,
// sequential reads and writes, and the system's reason for every failure.
// POSIX lives behind this header only; a Win32 variant can stand beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ombrelk {

// An open file, or kInvalidFile.
using FileHandle = int;
inline constexpr FileHandle kInvalidFile = -1;

// What a failed call reports: the system's error number (errno here), 0 for none.
struct FileError {
  int code = 0;
  // The system's words for `code`, e.g. "No such file or directory".
  std::string Reason() const;
};

enum class FileMode {
  // The input: read only, under a shared advisory lock that keeps a
  // cooperating writer out while the run lasts. A read-only file opens.
  kRead,
  // An output that already exists (made by CreateEmptyFile): write only.
  kWrite,
};

// Opens an existing file. Gives kInvalidFile and fills `error` on failure.
// Every open file gets the sequential-scan hint.
FileHandle OpenFile(const std::string& path, FileMode mode = FileMode::kRead,
                    FileError* error = nullptr);

// Creates the file, or cuts an existing one to zero length, then closes it.
// New files get mode 0666 less the umask. False (and `error`) on failure.
bool CreateEmptyFile(const std::string& path, FileError* error = nullptr);

// The file's size in bytes; 0 when it cannot be read.
int64_t GetFileLength(FileHandle file);

// Moves to the absolute `offset`. Gives the offset reached, -1 on failure.
int64_t SeekFile(FileHandle file, int64_t offset);

// Moves to offset 0.
void RewindFile(FileHandle file);

// Reads up to `count` bytes at the current position into `buffer`, retrying
// short reads until `count` bytes are read or the file ends. Gives the number
// of bytes read (less than `count` only at the end of the file), or -1 with
// `error` filled when the system refuses.
int64_t ReadBytes(FileHandle file, void* buffer, size_t count, FileError* error = nullptr);

// Writes all `count` bytes at the current position, retrying short writes.
// False with `error` filled when the system refuses (disk full and the like).
bool WriteBytes(FileHandle file, const void* data, size_t count, FileError* error = nullptr);

void CloseFile(FileHandle file);

}  // namespace ombrelk
