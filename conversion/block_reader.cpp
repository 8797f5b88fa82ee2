// Block planner and line reader. Offsets are 64-bit throughout; the only
// buffers are one search window while planning and one block while reading.
#include "conversion/block_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>

namespace ombrelk {
namespace {

constexpr const char* kEmptyMessage = "the file is empty";
constexpr const char* kShortMessage =
    "the file became shorter while being read; was it changed during the conversion?";

bool Fail(FileError* error, int code, const char* message = nullptr) {
  if (error != nullptr) {
    error->code = code;
    error->message = message;
  }
  return false;
}

// A buffer of `size` bytes, not zero-filled; nullptr when memory runs out.
std::unique_ptr<char[]> Allocate(size_t size) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[size > 0 ? size : 1]);
}

// Positions `file` at `offset`. SeekFile is one lseek, so errno is its reason.
bool SeekTo(FileHandle file, int64_t offset, FileError* error) {
  if (SeekFile(file, offset) == offset) return true;
  return Fail(error, errno != 0 ? errno : EINVAL);
}

// Reads exactly `count` bytes at the current position. A file that ends
// sooner was changed after its size was taken: that is a failure too.
bool ReadExactly(FileHandle file, char* buffer, size_t count, FileError* error) {
  int64_t got = ReadBytes(file, buffer, count, error);
  if (got < 0) return false;
  if (static_cast<size_t>(got) != count) return Fail(error, ENODATA, kShortMessage);
  return true;
}

// LF alone when `window` holds an LF but no CR LF; CR LF otherwise (also when
// it holds no LF at all: one long line, or a single line without line end).
LineEnd DetectLineEnd(const char* window, size_t size) {
  const char* end = window + size;
  const char* lf = static_cast<const char*>(std::memchr(window, '\n', size));
  if (lf == nullptr) return LineEnd::kCrLf;
  for (; lf != nullptr; lf = static_cast<const char*>(std::memchr(lf + 1, '\n', end - lf - 1))) {
    if (lf > window && lf[-1] == '\r') return LineEnd::kCrLf;
  }
  return LineEnd::kLf;
}

// FindLineEnd with the file size known and a search buffer of at least
// min(search_window, size) bytes supplied by the caller.
int64_t SearchLineEnd(FileHandle file, int64_t position, int64_t size, LineEnd line_end,
                      int64_t search_window, char* buffer, FileError* error) {
  // 1. Nothing lies at or past the end: the block runs to the end of the file.
  if (position >= size) return size - 1;
  // 2. Windows follow one another from `position` without gap or overlap.
  if (!SeekTo(file, position, error)) return -1;
  int64_t window_start = position;
  // 3. A CR that is the last byte of a window is carried into the next one,
  //    whose first byte may be its LF. The byte before `position` is never
  //    looked at: a line end must start at or after `position`.
  bool carried_cr = false;
  while (window_start < size) {
    size_t count = static_cast<size_t>(std::min(search_window, size - window_start));
    if (!ReadExactly(file, buffer, count, error)) return -1;
    const char* end = buffer + count;
    if (line_end == LineEnd::kLf) {
      // 4a. LF files: the first LF ends the line.
      if (const void* lf = std::memchr(buffer, '\n', count)) {
        return window_start + (static_cast<const char*>(lf) - buffer);
      }
    } else {
      // 4b. CR LF files: the first LF whose byte before it is a CR, in this
      //     window or (step 3) at the end of the window before.
      if (carried_cr && buffer[0] == '\n') return window_start;
      const char* from = buffer;
      while (const char* lf = static_cast<const char*>(std::memchr(from, '\n', end - from))) {
        if (lf > buffer && lf[-1] == '\r') return window_start + (lf - buffer);
        from = lf + 1;
      }
      carried_cr = end[-1] == '\r';
    }
    window_start += static_cast<int64_t>(count);
  }
  // 5. No line end up to the end of the file: the last line is never cut, so
  //    the block runs to the end of the file.
  return size - 1;
}

std::string RangeText(int64_t start, int64_t end) {
  std::string text = std::to_string(start);
  text += ',';
  text += std::to_string(end);
  return text;
}

}  // namespace

bool ParseBlockRange(std::string_view text, int64_t& start, int64_t& end) {
  size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  auto parse = [](std::string_view digits, int64_t& value) {
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') return false;
    auto [rest, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return status == std::errc() && rest == digits.data() + digits.size();
  };
  int64_t first, second;
  if (!parse(text.substr(0, comma), first) || !parse(text.substr(comma + 1), second)) return false;
  if (second < first) return false;
  start = first;
  end = second;
  return true;
}

namespace {

// PlanBlocks but for the final rewind, which happens on every way out.
bool PlanWholeFile(FileHandle file, int64_t block_size, BlockPlan& plan, int64_t search_window,
                   FileError* error) {
  if (block_size <= 0 || search_window <= 0) return Fail(error, EINVAL);
  // 1. The size decides everything below; an empty file has nothing to plan.
  FileError size_error;
  int64_t size = GetFileLength(file, &size_error);
  if (size_error.code != 0) return Fail(error, size_error.code);
  if (size <= 0) return Fail(error, 0, kEmptyMessage);

  // 2. One search buffer serves the whole plan.
  size_t buffer_size = static_cast<size_t>(std::min(search_window, size));
  std::unique_ptr<char[]> buffer = Allocate(buffer_size);
  if (buffer == nullptr) return Fail(error, ENOMEM);

  // 3. The line ends are decided once, from the first search window: LF
  //    alone when it holds an LF but no CR LF. An ordinary Linux file must
  //    not become one merged line per block.
  if (!SeekTo(file, 0, error) || !ReadExactly(file, buffer.get(), buffer_size, error)) return false;
  BlockPlan fresh;
  fresh.line_end = DetectLineEnd(buffer.get(), buffer_size);

  // 4. Blocks follow one another from offset 0 until the end of the file:
  //    a. what is left fits one block: it is the last block;
  //    b. otherwise the block takes `block_size` bytes and the rest of the
  //       line crossing its last byte, up to just after the first line end
  //       that starts at or after start + block_size (the end of the file
  //       when there is none);
  //    c. a block ending at the file size is the last one: no empty block
  //       follows it.
  //    There is no cap on the number of blocks: the plan covers the whole file.
  int64_t start = 0;
  for (;;) {
    if (size - start <= block_size) {  // 4a
      fresh.blocks.push_back(RangeText(start, size));
      break;
    }
    int64_t last = SearchLineEnd(file, start + block_size, size, fresh.line_end,  // 4b
                                 search_window, buffer.get(), error);
    if (last < 0) return false;
    int64_t end = last + 1;
    fresh.blocks.push_back(RangeText(start, end));
    if (end == size) break;  // 4c
    start = end;
  }

  // 5. Only a whole plan replaces the caller's.
  plan = std::move(fresh);
  return true;
}

}  // namespace

bool PlanBlocks(FileHandle file, int64_t block_size, BlockPlan& plan, int64_t search_window,
                FileError* error) {
  bool planned = PlanWholeFile(file, block_size, plan, search_window, error);
  RewindFile(file);
  return planned;
}

int64_t FindLineEnd(FileHandle file, int64_t position, LineEnd line_end, int64_t search_window,
                    FileError* error) {
  if (position < 0 || search_window <= 0) {
    Fail(error, EINVAL);
    return -1;
  }
  FileError size_error;
  int64_t size = GetFileLength(file, &size_error);
  if (size_error.code != 0) {
    Fail(error, size_error.code);
    return -1;
  }
  if (position >= size) return size - 1;
  std::unique_ptr<char[]> buffer =
      Allocate(static_cast<size_t>(std::min(search_window, size - position)));
  if (buffer == nullptr) {
    Fail(error, ENOMEM);
    return -1;
  }
  return SearchLineEnd(file, position, size, line_end, search_window, buffer.get(), error);
}

void SplitLines(std::string_view block, LineEnd line_end, std::vector<Line>& lines) {
  lines.clear();
  if (block.empty()) {  // memchr must not see the null data of an empty view
    lines.push_back(Line{block});
    return;
  }
  const char* const begin = block.data();
  const char* const end = begin + block.size();
  // A NUL byte is data: its line stays whole and is marked, and the lines
  // after it are read as usual. The line was just scanned and is still in
  // the cache, so the check costs far less than a second pass over the block.
  auto add = [&lines](const char* at, size_t size) {
    lines.push_back(Line{std::string_view(at, size), std::memchr(at, '\0', size) != nullptr});
  };
  // 1. Find every LF; with CR LF line ends an LF ends a line only when the
  //    byte before it, inside the same line, is a CR (a lone LF is data).
  const char* line = begin;
  const char* from = begin;
  while (const char* lf = static_cast<const char*>(std::memchr(from, '\n', end - from))) {
    if (line_end == LineEnd::kLf) {
      add(line, lf - line);
      line = lf + 1;
    } else if (lf > line && lf[-1] == '\r') {
      add(line, lf - 1 - line);
      line = lf + 1;
    }
    from = lf + 1;
  }
  // 2. What follows the last line end is the last line, when there is any;
  //    a block without line end (the empty block too) is one line.
  if (line < end || lines.empty()) add(line, end - line);
}

int64_t BlockReader::ReadBlockLines(FileHandle file, int64_t start, int64_t end,
                                    LineEnd line_end, FileError* error) {
  lines_.clear();
  // 1. A block is a range in order.
  if (start < 0 || end < start) {
    Fail(error, EINVAL);
    return 0;
  }
  size_t length = static_cast<size_t>(end - start);
  // 2. The block's start must be reached exactly.
  if (!SeekTo(file, start, error)) return 0;
  // 3. The buffer grows only for a block larger than any before, and is
  //    never zero-filled: the read overwrites what it needs.
  if (length > capacity_ || buffer_ == nullptr) {
    buffer_.reset();
    capacity_ = 0;
    buffer_ = Allocate(length);
    if (buffer_ == nullptr) {
      Fail(error, ENOMEM);
      return 0;
    }
    capacity_ = length;
  }
  // 4. The whole block or nothing: a file that ends sooner has changed since
  //    it was planned, and a shorter block would lose lines without a word.
  if (!ReadExactly(file, buffer_.get(), length, error)) return 0;
  // 5. Lines are views into the buffer, valid until the next block.
  try {
    SplitLines(std::string_view(buffer_.get(), length), line_end, lines_);
  } catch (const std::bad_alloc&) {
    lines_.clear();
    Fail(error, ENOMEM);
    return 0;
  }
  return static_cast<int64_t>(lines_.size());
}

}  // namespace ombrelk
