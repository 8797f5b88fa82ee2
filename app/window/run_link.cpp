#include "app/window/run_link.h"

#include <utility>

namespace ombrelk::window {

RunLink::RunLink(CounterBoard& counters, RunSettings settings)
    : counters_(counters), settings_(std::move(settings)) {}

bool RunLink::RecordErrors() { return settings_.record_errors; }
std::string RunLink::ColumnLimitText() { return settings_.column_limit_text; }
std::string RunLink::InputPath() { return settings_.input_path; }

std::string RunLink::CounterText(Counter counter) { return counters_.Text(counter); }

void RunLink::SetCounterText(Counter counter, const std::string& text) {
  counters_.SetText(counter, text);
}

void RunLink::SetStartEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  pending_.start_enabled = enabled;
}

void RunLink::SetTimerPeriod(int milliseconds) {
  // The board knows at once, so no tick lands after the run stopped the timer.
  counters_.SetTimerRunning(milliseconds > 0);
  std::lock_guard lock(mutex_);
  pending_.timer_period = milliseconds;
}

void RunLink::Tick() { counters_.Tick(); }

void RunLink::ShowMessage(const std::string& text, const std::string& caption) {
  std::unique_lock lock(mutex_);
  if (abandoned_) return;
  pending_.message = RunMessage{text, caption};
  message_open_ = true;
  answered_.wait(lock, [this] { return !message_open_ || abandoned_; });
}

void RunLink::Finish(RunOutcome outcome) {
  std::lock_guard lock(mutex_);
  pending_.outcome = outcome;
}

RunRequests RunLink::TakeRequests() {
  std::lock_guard lock(mutex_);
  return std::exchange(pending_, RunRequests{});
}

void RunLink::AnswerMessage() {
  {
    std::lock_guard lock(mutex_);
    message_open_ = false;
  }
  answered_.notify_all();
}

void RunLink::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  answered_.notify_all();
}

}  // namespace ombrelk::window
