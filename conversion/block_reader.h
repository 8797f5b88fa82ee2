// Cuts a multi-gigabyte input into blocks that end just after a line end, and
// reads one block at a time as a list of lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/file_access.h"

namespace ombrelk {

inline constexpr int64_t kDefaultBlockSize = 134217728;    // 128 MiB
inline constexpr int64_t kDefaultSearchWindow = 10485760;  // 10 MiB

// How the lines of one input end. Decided once per file by PlanBlocks.
enum class LineEnd {
  kCrLf,  // CR LF; a lone CR or LF is an ordinary byte
  kLf,    // LF alone: the first search window holds no CR LF but an LF
};

// The blocks of one input, in order: texts "start,end" of byte offsets in
// decimal; a block covers [start, end). The first starts at 0, each further
// one where the one before ended, the last ends at the file size. Every block
// but the last ends just after a line end, and no block is empty.
struct BlockPlan {
  std::vector<std::string> blocks;
  LineEnd line_end = LineEnd::kCrLf;
};

// Splits a "start,end" text: two runs of decimal digits joined by ",", no
// sign, start <= end. False when it is not of that form or does not fit.
bool ParseBlockRange(std::string_view text, int64_t& start, int64_t& end);

// Plans the whole file, however large. False for an empty file (or one whose
// size cannot be read) and when the file cannot be read; then `plan` stays as
// it was and `error` says why (code 0 and message "the file is empty" for an
// empty file). Leaves the file at offset 0.
//
// Each block holds `block_size` bytes plus the rest of the line crossing its
// last byte: it ends just after the first line end whose first byte lies at
// or after start + block_size, or at the file size when no line end follows
// (a last line is never cut). A file of at most `block_size` bytes is one
// block. The line ends are decided from the first `search_window` bytes:
// LF alone when they hold an LF but no CR LF, else CR LF.
bool PlanBlocks(FileHandle file, int64_t block_size, BlockPlan& plan,
                int64_t search_window = kDefaultSearchWindow, FileError* error = nullptr);

// The offset of the last byte (the LF) of the first line end whose first byte
// lies at or after `position`, reading the file window by window; a CR LF
// split between two windows counts. When no line end lies there (or
// `position` is at or past the end), the offset of the file's last byte, so a
// block ending after it ends at the file size. -1 (and `error`) when the file
// cannot be positioned or read. Moves the file position.
int64_t FindLineEnd(FileHandle file, int64_t position, LineEnd line_end = LineEnd::kCrLf,
                    int64_t search_window = kDefaultSearchWindow, FileError* error = nullptr);

// One line of a block, without its line end: a view into the reader's buffer,
// valid until the next ReadBlockLines on that reader.
struct Line {
  std::string_view text;
  // The line holds a NUL byte (kept in `text`); the run treats it as an error line.
  bool has_nul = false;
};

// Replaces `lines` with the lines of `block`, as views into it. A line end at
// the very end gives no empty line after it; one at the very start, or two in
// a row, give an empty line; an empty block is one empty line. Runs at memchr
// speed; `lines` keeps its capacity.
void SplitLines(std::string_view block, LineEnd line_end, std::vector<Line>& lines);

// Reads blocks into one buffer that is reused from block to block: it grows
// to the largest block read and is never zero-filled.
class BlockReader {
 public:
  // Reads [start, end) and splits it at the plan's line ends. Gives the number
  // of lines (at least 1: an empty block is one empty line), or 0 when the
  // block could not be read whole (including a file that ends before `end`);
  // then `error` says why and lines() is empty.
  int64_t ReadBlockLines(FileHandle file, int64_t start, int64_t end,
                         LineEnd line_end = LineEnd::kCrLf, FileError* error = nullptr);

  const std::vector<Line>& lines() const { return lines_; }

 private:
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  std::vector<Line> lines_;
};

}  // namespace ombrelk
