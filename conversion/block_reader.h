// Cuts a multi-gigabyte input into blocks that end just after a line end, and
// reads one block at a time as a list of lines.
#pragma once

#include <cstdint>
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
// one where the one before ended, the last ends at the file size.
struct BlockPlan {
  std::vector<std::string> blocks;
  LineEnd line_end = LineEnd::kCrLf;
};

// Splits a "start,end" text. False when it is not of that form.
bool ParseBlockRange(std::string_view text, int64_t& start, int64_t& end);

// Plans the whole file. False for an empty file (or one whose size cannot be
// read) and when the file cannot be read; then `plan` stays as it was and
// `error` says why (code 0 for an empty file). Leaves the file at offset 0.
bool PlanBlocks(FileHandle file, int64_t block_size, BlockPlan& plan,
                int64_t search_window = kDefaultSearchWindow, FileError* error = nullptr);

// The offset of the last byte of the first line end at or after `position`
// (the LF of a CR LF), searching window by window. -1 when the file cannot be
// positioned or read.
int64_t FindLineEnd(FileHandle file, int64_t position, LineEnd line_end = LineEnd::kCrLf,
                    int64_t search_window = kDefaultSearchWindow);

// One line of a block, without its line end: a view into the reader's buffer,
// valid until the next ReadBlockLines on that reader.
struct Line {
  std::string_view text;
  // The line holds a NUL byte (kept in `text`); the run treats it as an error line.
  bool has_nul = false;
};

// Reads blocks into one buffer that is reused from block to block.
class BlockReader {
 public:
  // Reads [start, end) and splits it at the plan's line ends. Gives the number
  // of lines (at least 1: an empty block is one empty line), or 0 when the
  // block could not be read whole; then `error` says why and lines() is empty.
  int64_t ReadBlockLines(FileHandle file, int64_t start, int64_t end,
                         LineEnd line_end = LineEnd::kCrLf, FileError* error = nullptr);

  const std::vector<Line>& lines() const { return lines_; }

 private:
  std::string buffer_;
  std::vector<Line> lines_;
};

}  // namespace ombrelk
