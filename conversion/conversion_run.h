// One conversion run: a JSON-lines file to its CSV file and, when asked, its
// error-lines file. The run knows nothing of any window toolkit; it reads its
// settings and keeps its counters through RunControls.
#pragma once

#include <cstdint>
#include <string>

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

  // How far the run has read: `done` of `total` input bytes. Called a few
  // times per block; the window ignores it, the command line draws a bar.
  virtual void Progress(int64_t done, int64_t total) {}
};

// How a run ended.
enum class RunOutcome {
  kFinished,    // every block converted; the elapsed counter says " 完成"
  kFailed,      // a file could not be opened, created or written; reported through ShowMessage
  kEndProgram,  // a block could not be read: reported, files flushed and closed; the caller ends the program
};

// Limits of a run; tests make them tiny.
struct RunLimits {
  int64_t block_size = 134217728;     // handed to PlanBlocks
  int64_t search_window = 10485760;   // handed to PlanBlocks
  int64_t flush_threshold = 16777216; // a builder longer than this is written out
  int64_t label_step = 1000;          // lines between processed-counter updates
};

class ConversionWorker {
 public:
  explicit ConversionWorker(RunControls& controls, RunLimits limits = {})
      : controls_(controls), limits_(limits) {}

  // Runs to the end on the calling thread.
  RunOutcome Run();

 private:
  RunControls& controls_;
  RunLimits limits_;
};

}  // namespace ombrelk
