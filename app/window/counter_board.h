// The three counter texts of the window, shared by the window's thread and a
// run's thread. The counters live only in these texts: every update reads a
// text as an integer (TextToInteger), adds, and writes the sum back
// (CounterNumberText). The board is the single place where they are kept;
// the window copies them into its labels a few times a second, so a run
// never waits for a repaint.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "conversion/conversion_run.h"

namespace ombrelk::window {

// Thread-safe: every member may be called from any thread; each call takes
// effect before it returns.
class CounterBoard {
 public:
  using Counter = RunControls::Counter;
  using Texts = std::array<std::string, 3>;  // indexed by Counter

  CounterBoard();

  std::string Text(Counter counter) const;
  void SetText(Counter counter, std::string text);

  // All three counters back to "0" (the start of a run).
  void Reset();

  // Adds one second to the elapsed counter: "7 s" becomes "8 s".
  void Tick();

  // Whether the elapsed-time timer is meant to run. The run switches it
  // synchronously while the window's timer follows a little later; a timer
  // tick that arrives after the run has stopped the timer is ignored, so it
  // can never overwrite the final " 完成".
  void SetTimerRunning(bool running);
  // The window timer's tick: Tick() while the timer is meant to run, else
  // nothing. True when it ticked.
  bool TimerTick();

  // Copies the texts into `texts` when they changed since `seen`, the
  // generation the caller last copied, and moves `seen` forward. False when
  // nothing changed.
  bool TakeIfChanged(uint64_t& seen, Texts& texts) const;

 private:
  void TickLocked();

  mutable std::mutex mutex_;
  Texts texts_;
  uint64_t generation_ = 1;  // moves on every change; callers start from 0
  bool timer_running_ = false;
};

}  // namespace ombrelk::window
