// The command line's side of a run: its settings come from the options, its
// counters are plain texts, its messages go to stderr, and its progress is a
// bar redrawn on stderr a few times a second when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "conversion/conversion_run.h"

namespace ombrelk::cli {

struct ConvertOptions {
  std::string column_limit = "0";  // decimal digits, as the window's edit box would hold them
  bool record_errors = false;
  bool quiet = false;
};

class TerminalControls : public RunControls {
 public:
  // `show_progress`: draw the bar on `err` (the caller has checked that it is
  // a terminal and that --quiet is off).
  TerminalControls(std::string input_path, const ConvertOptions& options, bool show_progress,
                   std::FILE* err = stderr);

  bool RecordErrors() override { return options_.record_errors; }
  std::string ColumnLimitText() override { return options_.column_limit; }
  std::string InputPath() override { return input_path_; }

  std::string CounterText(Counter counter) override { return TextOf(counter); }
  void SetCounterText(Counter counter, const std::string& text) override { TextOf(counter) = text; }

  // The command line has no button and no timer; it measures time itself.
  void SetStartEnabled(bool enabled) override {}
  void SetTimerPeriod(int milliseconds) override {}
  void Tick() override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void Progress(int64_t done, int64_t total) override;

  // Removes the bar, if one is drawn, so the next output starts on a clean line.
  void ClearProgress();

  int64_t ProcessedLines() { return TextToInteger(TextOf(Counter::kProcessed)); }
  int64_t ErrorLines() { return TextToInteger(TextOf(Counter::kErrors)); }

 private:
  std::string& TextOf(Counter counter);
  void DrawBar(int64_t done, int64_t total);

  std::string input_path_;
  ConvertOptions options_;
  bool show_progress_;
  std::FILE* err_;

  std::string processed_ = "0";
  std::string errors_ = "0";
  std::string elapsed_ = "0";

  using Clock = std::chrono::steady_clock;
  Clock::time_point started_ = Clock::now();
  Clock::time_point last_draw_{};
  bool bar_drawn_ = false;
};

}  // namespace ombrelk::cli
