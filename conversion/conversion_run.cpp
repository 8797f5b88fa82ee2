#include "conversion/conversion_run.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversion/block_reader.h"
#include "conversion/csv_formatter.h"
#include "conversion/file_access.h"
#include "json/json_document.h"
#include "platform/number_text.h"

namespace ombrelk {

// ---------------------------------------------------------------------------
// Paths and counter texts (public helpers)
// ---------------------------------------------------------------------------

OutputPaths DeriveOutputPaths(std::string_view input_path) {
  // Only the last component can hold the extension: "/d/data.old/sales" has
  // none and keeps its whole path. '.' and '/' never occur inside a multi-byte
  // character of UTF-8 or GBK, so a byte-wise search is exact for both.
  size_t component = input_path.rfind('/');
  component = component == std::string_view::npos ? 0 : component + 1;
  size_t dot = input_path.rfind('.');
  std::string_view base = input_path;
  if (dot != std::string_view::npos && dot >= component) base = input_path.substr(0, dot);
  OutputPaths paths;
  paths.csv.assign(base).append(".csv");
  paths.errors.assign(base).append("_错误行.json");
  return paths;
}

namespace {

// The ASCII character a full-width form stands for, or 0. `text` starts at a
// byte of a UTF-8 sequence; `length` receives the sequence's length when the
// sequence is folded.
char FoldFullWidth(std::string_view text, size_t& length) {
  if (text.size() < 3) return 0;
  auto b0 = static_cast<unsigned char>(text[0]);
  auto b1 = static_cast<unsigned char>(text[1]);
  auto b2 = static_cast<unsigned char>(text[2]);
  length = 3;
  if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) return ' ';  // U+3000 ideographic space
  if (b0 != 0xEF) return 0;
  // U+FF01..U+FF3F are EF BC 81..BF, U+FF40..U+FF5E are EF BD 80..9E.
  if (b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) return static_cast<char>(b2 - 0x80 + 0x20);
  if (b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) return static_cast<char>(b2 - 0x80 + 0x60);
  return 0;
}

// The next character of `text` at `pos`, folded to ASCII where it is a
// full-width form; advances `pos`. Other non-ASCII bytes come back as they are
// (they stop every reading below).
char NextFolded(std::string_view text, size_t& pos) {
  size_t length = 0;
  if (char folded = FoldFullWidth(text.substr(pos), length)) {
    pos += length;
    return folded;
  }
  return text[pos++];
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int64_t TextToInteger(std::string_view text) {
  size_t pos = 0;
  char c = 0;
  while (pos < text.size() && IsBlank(c = NextFolded(text, pos))) {
  }
  if (pos >= text.size() && IsBlank(c)) return 0;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    if (pos >= text.size()) return 0;
    c = NextFolded(text, pos);
  }
  // The magnitude, stopping at the 64-bit range's end for the sign at hand.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t value = 0;
  while (c >= '0' && c <= '9') {
    auto digit = static_cast<uint64_t>(c - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    if (pos >= text.size()) break;
    c = NextFolded(text, pos);
  }
  if (negative) return value == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

std::string CounterNumberText(double value) { return platform::FormatG13(value); }

// ---------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------

namespace {

using Counter = RunControls::Counter;

constexpr std::string_view kLineEnd = "\r\n";

// Writes the whole builder at the file's current position and empties it. An
// empty builder writes nothing. On failure the builder keeps its text.
bool FlushBuilder(std::string& builder, FileHandle file, FileError& error) {
  if (builder.empty()) return true;
  if (!WriteBytes(file, builder.data(), builder.size(), &error)) return false;
  builder.clear();
  return true;
}

// Reads the counter's text as an integer, adds `amount` and writes the sum back.
void AddToCounter(RunControls& controls, Counter counter, int64_t amount) {
  double sum = static_cast<double>(TextToInteger(controls.CounterText(counter))) +
               static_cast<double>(amount);
  controls.SetCounterText(counter, CounterNumberText(sum));
}

// True when the extension of `path` is "csv" in any letter case: its CSV path
// would then name the input itself.
bool HasCsvExtension(std::string_view path) {
  size_t component = path.rfind('/');
  component = component == std::string_view::npos ? 0 : component + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < component) return false;
  std::string_view extension = path.substr(dot + 1);
  if (extension.size() != 3) return false;
  for (size_t i = 0; i < 3; ++i) {
    char c = extension[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != "csv"[i]) return false;
  }
  return true;
}

std::string Quoted(std::string_view path) {
  std::string text;
  text.reserve(path.size() + 2);
  text.append("\"").append(path).append("\"");
  return text;
}

// One line at a time: parses it, judges it and, when it is good, appends its
// row. Owns the documents a thread needs to convert lines, so lines can later
// be spread over several converters, one per thread.
class LineConverter {
 public:
  explicit LineConverter(int32_t column_limit) : column_limit_(column_limit) {}

  // Appends the line's row (without line end) to `csv` and gives true for a
  // good line; gives false for an error line and leaves `csv` as it was.
  bool Convert(const Line& line, std::string& csv) {
    // A NUL byte cannot stand in JSON text; the parser would stop at it and
    // judge only what comes before.
    if (line.has_nul) return false;
    document_.ParseA(line.text);
    int32_t members = document_.CountAtA("");
    bool good = members >= 1 && (column_limit_ == 0 || members == column_limit_);
    if (good) formatter_.FormatRow(document_, members, csv);
    document_.Clear();
    return good;
  }

  std::string Header(const Line& first_line) {
    return formatter_.BuildHeader(first_line.has_nul ? std::string_view() : first_line.text);
  }

 private:
  int32_t column_limit_;
  JsonDocument document_;
  CsvRowFormatter formatter_;
};

// The state of one run from its settings to its last write. Closes whatever
// is still open when it goes.
class RunState {
 public:
  RunState(RunControls& controls, const RunLimits& limits, std::string& failure_reason)
      : controls_(controls), limits_(limits), failure_reason_(failure_reason) {}
  ~RunState() { CloseAll(); }
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  RunOutcome Execute();

 private:
  enum class Output { kCsv, kErrors };

  std::optional<RunOutcome> OpenOutput(Output output);
  std::optional<RunOutcome> ConvertBlock(const std::string& range, bool first_block,
                                         LineConverter& converter);
  std::optional<RunOutcome> AfterAppend(Output output);
  void UpdateProcessed(int64_t done);

  RunOutcome Fail(const std::string& message);
  RunOutcome FailWrite(Output output, const FileError& error);
  RunOutcome FailBlockRead(const std::string& reason);
  RunOutcome Finish();
  void CloseAll();

  const std::string& PathOf(Output output) const {
    return output == Output::kCsv ? paths_.csv : paths_.errors;
  }
  FileHandle& FileOf(Output output) { return output == Output::kCsv ? csv_ : errors_; }
  std::string& BuilderOf(Output output) {
    return output == Output::kCsv ? csv_builder_ : error_builder_;
  }
  static const char* NameOf(Output output) {
    return output == Output::kCsv ? "the CSV file" : "the error-lines file";
  }

  RunControls& controls_;
  const RunLimits& limits_;
  std::string& failure_reason_;

  bool record_errors_ = false;
  std::string input_path_;
  OutputPaths paths_;

  FileHandle input_ = kInvalidFile;
  FileHandle csv_ = kInvalidFile;
  FileHandle errors_ = kInvalidFile;
  int64_t input_size_ = 0;

  BlockPlan plan_;
  BlockReader reader_;
  std::string csv_builder_;
  std::string error_builder_;
  // Lines of every kind since the processed counter was last updated.
  int64_t lines_since_update_ = 0;
};

RunOutcome RunState::Execute() {
  // 1. The settings, read once.
  record_errors_ = controls_.RecordErrors();
  int64_t limit = TextToInteger(controls_.ColumnLimitText());
  if (limit > std::numeric_limits<int32_t>::max()) limit = std::numeric_limits<int32_t>::max();
  if (limit < std::numeric_limits<int32_t>::min()) limit = std::numeric_limits<int32_t>::min();
  input_path_ = controls_.InputPath();

  // 2. The first tick ("1 s"), then the timer.
  controls_.Tick();
  controls_.SetTimerPeriod(1000);

  // 3. Where the outputs go.
  paths_ = DeriveOutputPaths(input_path_);

  // 4. The input opens first: nothing is created or emptied for an input
  //    that cannot be read.
  FileError error;
  input_ = OpenFile(input_path_, FileMode::kRead, &error);
  if (input_ == kInvalidFile) {
    return Fail("Cannot open the input file " + Quoted(input_path_) + ": " + error.Reason());
  }

  // 5. An output that names the input would empty it before it is read.
  if (HasCsvExtension(input_path_) || IsSameFile(input_, paths_.csv)) {
    return Fail("Refusing to convert " + Quoted(input_path_) + ": its CSV file " +
                Quoted(paths_.csv) + " is the input file itself");
  }
  if (record_errors_ && IsSameFile(input_, paths_.errors)) {
    return Fail("Refusing to convert " + Quoted(input_path_) + ": its error-lines file " +
                Quoted(paths_.errors) + " is the input file itself");
  }

  // 6. The plan. An empty input has none and converts to empty outputs.
  if (!PlanBlocks(input_, limits_.block_size, plan_, limits_.search_window, &error)) {
    if (error.code != 0) {
      return Fail("Cannot read the input file " + Quoted(input_path_) + ": " + error.Reason());
    }
    plan_.blocks.clear();
  }
  input_size_ = GetFileLength(input_);

  // 7. The outputs, created or emptied, then opened.
  if (auto failed = OpenOutput(Output::kCsv)) return *failed;
  if (record_errors_) {
    if (auto failed = OpenOutput(Output::kErrors)) return *failed;
  }

  // 8-11. Every block of the plan, in order.
  LineConverter converter(static_cast<int32_t>(limit));
  for (size_t block = 0; block < plan_.blocks.size(); ++block) {
    if (auto stopped = ConvertBlock(plan_.blocks[block], block == 0, converter)) return *stopped;
  }

  // 12. The last fewer-than-a-step lines.
  UpdateProcessed(input_size_);

  // 13. Whatever the builders still hold.
  FileError write_error;
  if (!FlushBuilder(csv_builder_, csv_, write_error)) return FailWrite(Output::kCsv, write_error);
  if (record_errors_ && !FlushBuilder(error_builder_, errors_, write_error)) {
    return FailWrite(Output::kErrors, write_error);
  }

  // 14. Input, error file, CSV file. Closing an output can still report a
  //     write the system could not complete.
  CloseFile(input_);
  input_ = kInvalidFile;
  for (Output output : {Output::kErrors, Output::kCsv}) {
    FileHandle& file = FileOf(output);
    if (file == kInvalidFile) continue;
    bool closed = CloseFile(file, &write_error);
    file = kInvalidFile;
    if (!closed) return FailWrite(output, write_error);
  }
  return Finish();
}

std::optional<RunOutcome> RunState::OpenOutput(Output output) {
  const std::string& path = PathOf(output);
  FileError error;
  if (CreateEmptyFile(path, &error)) FileOf(output) = OpenFile(path, FileMode::kWrite, &error);
  if (FileOf(output) == kInvalidFile) {
    return Fail(std::string("Cannot create ") + NameOf(output) + " " + Quoted(path) + ": " +
                error.Reason());
  }
  // A flush happens once a builder has grown past the threshold, by at most
  // one line; reserving a little more keeps most runs from ever reallocating.
  BuilderOf(output).reserve(static_cast<size_t>(limits_.flush_threshold) + 65536);
  return std::nullopt;
}

std::optional<RunOutcome> RunState::ConvertBlock(const std::string& range, bool first_block,
                                            LineConverter& converter) {
  int64_t start = 0;
  int64_t end = 0;
  if (!ParseBlockRange(range, start, end)) {
    return FailBlockRead("The block \"" + range + "\" of the input file " + Quoted(input_path_) +
                         " is not a byte range");
  }
  FileError error;
  if (reader_.ReadBlockLines(input_, start, end, plan_.line_end, &error) < 1) {
    return FailBlockRead("Cannot read the input file " + Quoted(input_path_) + " from byte " +
                         std::to_string(start) + " to byte " + std::to_string(end) + ": " +
                         error.Reason());
  }
  const std::vector<Line>& lines = reader_.lines();

  // 10. The header goes straight to the file, ahead of every row; the first
  //     line is converted as an ordinary line below as well.
  if (first_block) {
    std::string header = converter.Header(lines.front());
    header.append(kLineEnd);
    if (!WriteBytes(csv_, header.data(), header.size(), &error)) {
      return FailWrite(Output::kCsv, error);
    }
  }

  // 11. Every line in order. `done` follows the input offset for progress.
  const int64_t line_end_length = plan_.line_end == LineEnd::kCrLf ? 2 : 1;
  int64_t done = start;
  for (const Line& line : lines) {
    ++lines_since_update_;
    done += static_cast<int64_t>(line.text.size()) + line_end_length;
    if (converter.Convert(line, csv_builder_)) {
      csv_builder_.append(kLineEnd);
      if (auto failed = AfterAppend(Output::kCsv)) return failed;
      if (lines_since_update_ >= limits_.label_step) UpdateProcessed(done < end ? done : end);
    } else {
      if (record_errors_) {
        error_builder_.append(line.text).append(kLineEnd);
        if (auto failed = AfterAppend(Output::kErrors)) return failed;
      }
      if (lines_since_update_ >= limits_.label_step) UpdateProcessed(done < end ? done : end);
      AddToCounter(controls_, Counter::kErrors, 1);
    }
  }
  controls_.Progress(end, input_size_);
  return std::nullopt;
}

// A builder is written out once it has grown past the threshold; exactly the
// threshold stays in memory.
std::optional<RunOutcome> RunState::AfterAppend(Output output) {
  std::string& builder = BuilderOf(output);
  if (static_cast<int64_t>(builder.size()) <= limits_.flush_threshold) return std::nullopt;
  FileError error;
  if (!FlushBuilder(builder, FileOf(output), error)) return FailWrite(output, error);
  return std::nullopt;
}

void RunState::UpdateProcessed(int64_t done) {
  AddToCounter(controls_, Counter::kProcessed, lines_since_update_);
  lines_since_update_ = 0;
  controls_.Progress(done, input_size_);
}

// Stops the run without " 完成": files closed, timer stopped, the reason
// shown, the start button usable again.
RunOutcome RunState::Fail(const std::string& message) {
  failure_reason_ = message;
  CloseAll();
  controls_.SetTimerPeriod(0);
  controls_.ShowMessage(message, std::string(kMessageCaption));
  controls_.SetStartEnabled(true);
  return RunOutcome::kFailed;
}

RunOutcome RunState::FailWrite(Output output, const FileError& error) {
  return Fail(std::string("Cannot write ") + NameOf(output) + " " + Quoted(PathOf(output)) + ": " +
              error.Reason());
}

// A block that cannot be read ends the program, but what the builders hold
// reaches the disk and every file is closed before the message is shown.
RunOutcome RunState::FailBlockRead(const std::string& reason) {
  failure_reason_ = reason;
  FileError ignored;
  if (csv_ != kInvalidFile) FlushBuilder(csv_builder_, csv_, ignored);
  if (errors_ != kInvalidFile) FlushBuilder(error_builder_, errors_, ignored);
  CloseAll();
  controls_.SetTimerPeriod(0);
  controls_.ShowMessage(std::string(kBlockReadFailedMessage), std::string(kMessageCaption));
  return RunOutcome::kEndProgram;
}

RunOutcome RunState::Finish() {
  controls_.SetStartEnabled(true);
  controls_.SetTimerPeriod(0);
  controls_.SetCounterText(Counter::kElapsed,
                           controls_.CounterText(Counter::kElapsed).append(kFinishedSuffix));
  return RunOutcome::kFinished;
}

void RunState::CloseAll() {
  for (FileHandle* file : {&input_, &errors_, &csv_}) {
    if (*file != kInvalidFile) CloseFile(*file);
    *file = kInvalidFile;
  }
}

}  // namespace

RunOutcome ConversionWorker::Run() {
  failure_reason_.clear();
  RunState run(controls_, limits_, failure_reason_);
  return run.Execute();
}

}  // namespace ombrelk
