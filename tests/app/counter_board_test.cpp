#include "app/window/counter_board.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrelk::window {
namespace {

using Counter = CounterBoard::Counter;

TEST(CounterBoardTest, StartsAndResetsAtZero) {
  CounterBoard board;
  for (Counter c : {Counter::kProcessed, Counter::kErrors, Counter::kElapsed}) {
    EXPECT_EQ(board.Text(c), "0");
    board.SetText(c, "17");
  }
  board.Reset();
  for (Counter c : {Counter::kProcessed, Counter::kErrors, Counter::kElapsed}) {
    EXPECT_EQ(board.Text(c), "0");
  }
}

TEST(CounterBoardTest, TickAddsOneSecond) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"0", "1 s"},
      {"1 s", "2 s"},
      {"59 s", "60 s"},
      {"7 s 完成", "8 s"},
      {"not a number", "1 s"},
      {"9999999999999 s", "1e+013 s"},  // "%.13g" as the counters are written
  };
  for (const Case& c : cases) {
    CounterBoard board;
    board.SetText(Counter::kElapsed, c.before);
    board.Tick();
    EXPECT_EQ(board.Text(Counter::kElapsed), c.after) << c.before;
    EXPECT_EQ(board.Text(Counter::kProcessed), "0");
  }
}

// The window's timer follows the run's SetTimerPeriod a little later; a tick
// in between must not touch the final text.
TEST(CounterBoardTest, TimerTicksOnlyWhileTheRunWantsThem) {
  CounterBoard board;
  EXPECT_FALSE(board.TimerTick());  // no timer before the first run
  EXPECT_EQ(board.Text(Counter::kElapsed), "0");

  board.Tick();  // the run's own first tick
  board.SetTimerRunning(true);
  EXPECT_TRUE(board.TimerTick());
  EXPECT_EQ(board.Text(Counter::kElapsed), "2 s");

  board.SetTimerRunning(false);
  board.SetText(Counter::kElapsed, board.Text(Counter::kElapsed) + " 完成");
  EXPECT_FALSE(board.TimerTick());
  EXPECT_EQ(board.Text(Counter::kElapsed), "2 s 完成");
}

TEST(CounterBoardTest, TakeIfChangedGivesEachChangeOnce) {
  CounterBoard board;
  CounterBoard::Texts texts;
  uint64_t seen = 0;
  ASSERT_TRUE(board.TakeIfChanged(seen, texts));
  EXPECT_EQ(texts, (CounterBoard::Texts{"0", "0", "0"}));
  EXPECT_FALSE(board.TakeIfChanged(seen, texts));

  board.SetText(Counter::kErrors, "3");
  board.Tick();
  ASSERT_TRUE(board.TakeIfChanged(seen, texts));
  EXPECT_EQ(texts, (CounterBoard::Texts{"0", "3", "1 s"}));
  EXPECT_FALSE(board.TakeIfChanged(seen, texts));
  EXPECT_FALSE(board.TimerTick());  // a tick that does nothing is no change
  EXPECT_FALSE(board.TakeIfChanged(seen, texts));
}

}  // namespace
}  // namespace ombrelk::window
