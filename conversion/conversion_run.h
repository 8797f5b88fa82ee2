// One conversion run: a JSON-lines file to its CSV file and, when asked, its
// error-lines file. The run knows nothing of any window toolkit; it reads its
// settings and keeps its counters through RunControls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelk {

// What a run needs from whoever started it (the window, the command line, a
// test). Every call comes from the run's own thread, and each must have taken
// effect when it returns: a counter text written is what the next read gives.
// Texts are UTF-8; the input path is the file system's bytes.
class RunControls {
 public:
  enum class Counter {
    kProcessed,  // lines processed, error lines included
    kErrors,     // error lines
    kElapsed,    // elapsed seconds, "N s", " 完成" appended at the end
  };

  virtual ~RunControls() = default;

  // The three settings, read once when the run starts.
  virtual bool RecordErrors() = 0;
  virtual std::string ColumnLimitText() = 0;
  virtual std::string InputPath() = 0;

  // The counters live only in these texts.
  virtual std::string CounterText(Counter counter) = 0;
  virtual void SetCounterText(Counter counter, const std::string& text) = 0;

  virtual void SetStartEnabled(bool enabled) = 0;
  // 0 stops the elapsed-time timer.
  virtual void SetTimerPeriod(int milliseconds) = 0;
  // The elapsed-time tick, called once by the run at its start.
  virtual void Tick() = 0;
  // Shows `text` and returns once the user has dismissed it.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;

  // How far the run has read: `done` of `total` input bytes. Called every
  // label step of lines and at the end of every block; the window ignores it,
  // the command line draws a bar.
  virtual void Progress(int64_t done, int64_t total) {}
};

// How a run ended.
enum class RunOutcome {
  kFinished,    // every block converted; the elapsed counter says " 完成"
  kFailed,      // a file could not be opened, created or written, or the input was
                // refused; reported through ShowMessage, no " 完成"
  kEndProgram,  // a block could not be read: reported, files flushed and closed; the caller ends the program
};

// Limits of a run; tests make them tiny.
struct RunLimits {
  int64_t block_size = 134217728;     // handed to PlanBlocks
  int64_t search_window = 10485760;   // handed to PlanBlocks
  int64_t flush_threshold = 16777216; // a builder longer than this is written out
  int64_t label_step = 1000;          // lines between processed-counter updates
};

// The caption of every message a run shows.
inline constexpr std::string_view kMessageCaption = "信息：";
// The message for a block that cannot be read; the program ends after it.
inline constexpr std::string_view kBlockReadFailedMessage = "一大块文本读取失败,程序崩溃！";
// Appended to the elapsed counter when a run has converted its whole input.
inline constexpr std::string_view kFinishedSuffix = " 完成";

// The paths a run writes, derived from the input path: the input path up to
// its extension (the part after the last "." of the last path component; a
// path without one is kept whole), then ".csv" or "_错误行.json".
struct OutputPaths {
  std::string csv;
  std::string errors;
};
OutputPaths DeriveOutputPaths(std::string_view input_path);

// Reads a counter text or the column limit as an integer: full-width forms
// (U+FF01..U+FF5E, the ideographic space U+3000) are first folded to ASCII,
// then leading blanks are skipped, an optional sign is read and decimal
// digits up to the first other character. No digits give 0; values beyond
// the 64-bit range stop at its ends. "12 s" reads as 12.
int64_t TextToInteger(std::string_view text);

// A counter value as the counters show it: printf "%.13g", so every count
// below 10^13 is a plain integer.
std::string CounterNumberText(double value);

class ConversionWorker {
 public:
  explicit ConversionWorker(RunControls& controls, RunLimits limits = {})
      : controls_(controls), limits_(limits) {}

  // Runs to the end on the calling thread. Keeps no state between runs and
  // touches nothing shared but `controls`, so several workers may run at once
  // on different inputs.
  RunOutcome Run();

  // Why the last Run did not finish, naming the file and the system's reason:
  // for kFailed the message it showed; for kEndProgram, whose message is the
  // fixed block-read text, which bytes of the input could not be read and
  // why. Empty after kFinished.
  const std::string& FailureReason() const { return failure_reason_; }

 private:
  RunControls& controls_;
  RunLimits limits_;
  std::string failure_reason_;
};

}  // namespace ombrelk
