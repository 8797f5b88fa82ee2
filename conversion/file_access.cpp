// POSIX side of the file layer. Every call retries EINTR and loops over
// partial transfers, so callers see a whole result or a reason.
#include "conversion/file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace ombrelk {
namespace {

static_assert(sizeof(off_t) == 8, "the file layer needs 64-bit offsets");

constexpr const char* kLockedMessage = "the file is locked by another program";
constexpr const char* kNotRegularMessage = "not a regular file";

void Fail(FileError* error, int code, const char* message = nullptr) {
  if (error != nullptr) {
    error->code = code;
    error->message = message;
  }
}

// ---- Fault injection -----------------------------------------------------

struct Fault {
  std::atomic<int> countdown{0};  // calls left until the failing one; 0 = off
  std::atomic<int> error_number{0};
};
Fault g_faults[2];

// True when this call is the one chosen to fail; `code` gets its errno.
bool TakeFault(FileOperation operation, int& code) {
  Fault& fault = g_faults[static_cast<int>(operation)];
  int left = fault.countdown.load();
  while (left > 0 && !fault.countdown.compare_exchange_weak(left, left - 1)) {
  }
  if (left != 1) return false;
  code = fault.error_number.load();
  return true;
}

// Opens without blocking (a FIFO without a partner would wait forever), then
// puts the descriptor back into blocking mode for ordinary reads and writes.
int OpenNonBlocking(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::string FileError::Reason() const {
  if (message != nullptr) return message;
  char text[256];
  // GNU strerror_r: gives a pointer to the text, in `text` or static.
  return ::strerror_r(code, text, sizeof text);
}

FileHandle OpenFile(const std::string& path, FileMode mode, FileError* error) {
  if (mode == FileMode::kWrite) {
    int fd = OpenNonBlocking(path, O_WRONLY);
    if (fd < 0) {
      Fail(error, errno);
      return kInvalidFile;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
  }

  int fd = OpenNonBlocking(path, O_RDONLY);
  if (fd < 0) {
    Fail(error, errno);
    return kInvalidFile;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    Fail(error, errno);
    ::close(fd);
    return kInvalidFile;
  }
  if (!S_ISREG(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) {
      Fail(error, EISDIR);
    } else {
      Fail(error, EINVAL, kNotRegularMessage);
    }
    ::close(fd);
    return kInvalidFile;
  }
  // The shared lock keeps out a writer that asks for an exclusive one, and
  // fails at once, rather than wait, when such a writer is already in. A
  // file system without flock support (ENOLCK, EOPNOTSUPP) still converts:
  // the lock is a courtesy between cooperating programs, not a guard.
  int locked;
  do {
    locked = ::flock(fd, LOCK_SH | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0 && errno == EWOULDBLOCK) {
    Fail(error, EWOULDBLOCK, kLockedMessage);
    ::close(fd);
    return kInvalidFile;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

bool CreateEmptyFile(const std::string& path, FileError* error) {
  if (path.empty()) {
    Fail(error, ENOENT);
    return false;
  }
  // O_NONBLOCK: a FIFO without a reader fails (ENXIO) instead of hanging.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(error, errno);
    return false;
  }
  return CloseFile(fd, error);
}

int64_t GetFileLength(FileHandle file, FileError* error) {
  struct stat info;
  if (::fstat(file, &info) != 0) {
    Fail(error, errno);
    return 0;
  }
  return info.st_size;
}

int64_t SeekFile(FileHandle file, int64_t offset) {
  if (offset < 0) return -1;
  return ::lseek(file, static_cast<off_t>(offset), SEEK_SET);
}

void RewindFile(FileHandle file) { ::lseek(file, 0, SEEK_SET); }

int64_t ReadBytes(FileHandle file, void* buffer, size_t count, FileError* error) {
  int injected;
  if (TakeFault(FileOperation::kRead, injected)) {
    Fail(error, injected);
    return -1;
  }
  char* to = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    // Linux moves at most about 2 GiB per call; the loop takes the rest.
    ssize_t got = ::read(file, to + done, count - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(error, errno);
      return -1;
    }
    if (got == 0) break;  // end of file
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool WriteBytes(FileHandle file, const void* data, size_t count, FileError* error) {
  int injected;
  if (TakeFault(FileOperation::kWrite, injected)) {
    Fail(error, injected);
    return false;
  }
  const char* from = static_cast<const char*>(data);
  size_t done = 0;
  while (done < count) {
    ssize_t put = ::write(file, from + done, count - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail(error, errno);
      return false;
    }
    // A write that moves nothing and names no error would loop forever; the
    // only file that does so is one with no room left.
    if (put == 0) {
      Fail(error, ENOSPC);
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool CloseFile(FileHandle file, FileError* error) {
  if (file == kInvalidFile) return true;
  // Linux releases the descriptor even when close reports EINTR, so it is
  // never retried (a retry could close a descriptor another thread just got).
  if (::close(file) != 0 && errno != EINTR) {
    Fail(error, errno);
    return false;
  }
  return true;
}

bool IsSameFile(FileHandle file, const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  if (::fstat(file, &open_file) != 0 || ::stat(path.c_str(), &named) != 0) return false;
  return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

void InjectFileFault(FileOperation operation, int nth, int error_number) {
  Fault& fault = g_faults[static_cast<int>(operation)];
  fault.error_number.store(error_number);
  fault.countdown.store(nth > 0 ? nth : 0);
}

}  // namespace ombrelk
