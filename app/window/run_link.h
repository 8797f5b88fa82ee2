// The window's side of one conversion run: RunControls for the run's thread,
// a mailbox for the window's thread. The run never touches a widget. Counter
// texts go straight to the CounterBoard; requests that need a widget (the
// button's state, the timer's period, a message box) and the run's end are
// left here, and the window takes them on its own thread. All hand-over is
// through this object's mutex, so the two threads share no toolkit state.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "app/window/counter_board.h"
#include "conversion/conversion_run.h"

namespace ombrelk::window {

// The window's three settings, copied on the window's thread when the run
// starts (the run reads them once, at its start, anyway).
struct RunSettings {
  bool record_errors = false;
  std::string column_limit_text;  // UTF-8
  std::string input_path;         // the file system's bytes
};

struct RunMessage {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
};

// What the run asked of the window since the window last looked. Later
// requests of one kind replace earlier ones: only the last state matters.
struct RunRequests {
  std::optional<bool> start_enabled;
  std::optional<int> timer_period;     // milliseconds; 0 stops the timer
  std::optional<RunMessage> message;   // the run waits until AnswerMessage()
  std::optional<RunOutcome> outcome;   // set once the run has returned
};

class RunLink final : public RunControls {
 public:
  // `counters` must outlive the link.
  RunLink(CounterBoard& counters, RunSettings settings);

  // RunControls, called on the run's thread.
  bool RecordErrors() override;
  std::string ColumnLimitText() override;
  std::string InputPath() override;
  std::string CounterText(Counter counter) override;
  void SetCounterText(Counter counter, const std::string& text) override;
  void SetStartEnabled(bool enabled) override;
  void SetTimerPeriod(int milliseconds) override;
  void Tick() override;
  // Waits until the window has shown the message and the user closed it, or
  // until the window has abandoned the run.
  void ShowMessage(const std::string& text, const std::string& caption) override;

  // The run's thread, once the run has returned.
  void Finish(RunOutcome outcome);

  // The window's thread: takes what is pending, leaving nothing behind.
  RunRequests TakeRequests();
  // The window's thread: the message taken last has been dismissed.
  void AnswerMessage();
  // The window's thread, when the window goes away during a run: messages
  // are no longer shown, and a run waiting on one goes on at once.
  void Abandon();

 private:
  CounterBoard& counters_;
  const RunSettings settings_;

  std::mutex mutex_;
  std::condition_variable answered_;
  RunRequests pending_;
  bool message_open_ = false;
  bool abandoned_ = false;
};

}  // namespace ombrelk::window
