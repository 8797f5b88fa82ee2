#include "app/window/counter_board.h"

#include <utility>

namespace ombrelk::window {
namespace {

size_t Index(RunControls::Counter counter) { return static_cast<size_t>(counter); }

}  // namespace

CounterBoard::CounterBoard() { texts_.fill("0"); }

std::string CounterBoard::Text(Counter counter) const {
  std::lock_guard lock(mutex_);
  return texts_[Index(counter)];
}

void CounterBoard::SetText(Counter counter, std::string text) {
  std::lock_guard lock(mutex_);
  texts_[Index(counter)] = std::move(text);
  ++generation_;
}

void CounterBoard::Reset() {
  std::lock_guard lock(mutex_);
  texts_.fill("0");
  ++generation_;
}

void CounterBoard::Tick() {
  std::lock_guard lock(mutex_);
  TickLocked();
}

void CounterBoard::SetTimerRunning(bool running) {
  std::lock_guard lock(mutex_);
  timer_running_ = running;
}

bool CounterBoard::TimerTick() {
  std::lock_guard lock(mutex_);
  if (!timer_running_) return false;
  TickLocked();
  return true;
}

bool CounterBoard::TakeIfChanged(uint64_t& seen, Texts& texts) const {
  std::lock_guard lock(mutex_);
  if (seen == generation_) return false;
  texts = texts_;
  seen = generation_;
  return true;
}

void CounterBoard::TickLocked() {
  std::string& elapsed = texts_[Index(Counter::kElapsed)];
  elapsed = CounterNumberText(static_cast<double>(TextToInteger(elapsed)) + 1) + " s";
  ++generation_;
}

}  // namespace ombrelk::window
