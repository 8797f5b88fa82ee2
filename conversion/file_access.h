// The thin file layer every file of a run goes through: 64-bit offsets,
// sequential reads and writes, and the system's reason for every failure.
// POSIX lives behind this header only; a Win32 variant can stand beside it.
// Paths are byte strings in the file system's encoding (UTF-8 here).
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
  // Our own words, when the system's words for `code` would not say what
  // happened (a lock held elsewhere, a file shorter than planned). Always a
  // string literal; nullptr when the system's words are the reason.
  const char* message = nullptr;
  // `message` when set, else the system's words for `code`, e.g.
  // "No such file or directory".
  std::string Reason() const;
};

enum class FileMode {
  // The input: read only, under a shared advisory lock (flock) that keeps a
  // cooperating writer out while the run lasts. A read-only file opens. When
  // another process holds an exclusive lock the open fails at once (code
  // EWOULDBLOCK, reason "the file is locked by another program") rather than
  // wait. Only a regular file opens; a directory gives EISDIR, anything else
  // (a FIFO, a device) EINVAL; none of them can make a block plan.
  kRead,
  // An output that already exists (made by CreateEmptyFile): write only, no
  // lock. Any kind of file opens, so /dev/full or /dev/null can stand in.
  kWrite,
};

// Opens an existing file. Gives kInvalidFile and fills `error` on failure.
// Every open file gets the sequential-scan hint and is closed on exec.
FileHandle OpenFile(const std::string& path, FileMode mode = FileMode::kRead,
                    FileError* error = nullptr);

// Creates the file, or cuts an existing one to zero length, then closes it.
// New files get mode 0666 less the umask. False (and `error`) on failure; an
// empty path fails with ENOENT and touches nothing.
bool CreateEmptyFile(const std::string& path, FileError* error = nullptr);

// The file's size in bytes; 0 (and `error`) when it cannot be read.
int64_t GetFileLength(FileHandle file, FileError* error = nullptr);

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

// Closes the file. False (and `error`) when the system reports a failure on
// close, which for an output can be a write it could not complete; the handle
// is gone either way. Closing kInvalidFile does nothing and succeeds.
bool CloseFile(FileHandle file, FileError* error = nullptr);

// True when `path` names the file that `file` has open: the same file reached
// by another spelling, a hard link or a symbolic link. A path that does not
// exist names nothing.
bool IsSameFile(FileHandle file, const std::string& path);

// ---- Fault injection, for tests only -------------------------------------
// Makes the `nth` ReadBytes or WriteBytes call from now on (1 = the very next
// one) fail with `error_number`, before it touches the file; the calls after
// it work again. `nth` 0 disarms. One setting per operation, process-wide and
// thread-safe, so a test can make a run on another thread meet a full disk
// (ENOSPC) or a failing device (EIO) without mounting anything. A real ENOSPC
// also comes from writing to /dev/full, e.g. through a symlink named like an
// output.
enum class FileOperation { kRead, kWrite };
void InjectFileFault(FileOperation operation, int nth, int error_number);

}  // namespace ombrelk
