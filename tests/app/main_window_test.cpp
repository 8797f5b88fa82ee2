// The window driven by scripted runs: its controls, the click, the button's
// guard, the counters, the timer and the run's messages. Real conversions are
// in window_conversion_test.cpp.
#include "app/window/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/window/window_font.h"
#include "tests/app/window_test_support.h"

namespace ombrelk::window {
namespace {

using namespace ombrelk::window::testing;
using Counter = RunControls::Counter;

// A one-way gate between the test and a scripted run's thread.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// What a run does at its end when it finished: the button back, the timer
// stopped, " 完成" after the elapsed time.
void FinishLikeARun(RunControls& controls) {
  controls.SetStartEnabled(true);
  controls.SetTimerPeriod(0);
  controls.SetCounterText(Counter::kElapsed, controls.CounterText(Counter::kElapsed) + " 完成");
}

TEST(MainWindowTest, OpensWithTheDefaultPathAndIdle) {
  MainWindow window([](RunControls&) { return RunOutcome::kFinished; });
  const QString expected = QCoreApplication::applicationDirPath() + QDir::separator() + "test.json";
  EXPECT_EQ(InputPathEdit(window)->text(), expected);
  EXPECT_EQ(MainWindow::DefaultInputPath(), expected);

  EXPECT_EQ(window.windowTitle(), QStringLiteral("OmbrelkV1.1  支持GB级文本"));
  EXPECT_EQ(window.pos(), QPoint(50, 50));
  EXPECT_EQ(window.size(), QSize(466, 145));
  EXPECT_TRUE(StartButton(window)->isEnabled());
  EXPECT_FALSE(window.RunInProgress());
  auto* timer = Find<QTimer>(window, QStringLiteral("时钟1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());  // nothing ticks before the first run
}

TEST(MainWindowTest, HasEveryControlWithItsPlaceTextAndFont) {
  struct Control {
    const char16_t* name;
    const char* kind;
    QRect geometry;
    const char16_t* text;  // null: not compared
  };
  const Control controls[] = {
      {u"标签1", "QLabel", {8, 16, 64, 24}, u"Json文件："},
      {u"编辑框_输入文件Json", "QLineEdit", {72, 16, 380, 24}, nullptr},
      {u"标签4", "QLabel", {290, 42, 68, 21}, u"已处理行："},
      {u"标签_已完成数", "QLabel", {358, 42, 92, 21}, u"0"},
      {u"选择框_记录错误", "QCheckBox", {109, 54, 72, 21}, u"记录错误"},
      {u"按钮_批量转换", "QPushButton", {16, 64, 72, 32}, u"批量转换"},
      {u"标签2", "QLabel", {290, 65, 68, 21}, u"错误行："},
      {u"标签_错误行", "QLabel", {358, 65, 92, 21}, u"0"},
      {u"标签3", "QLabel", {108, 84, 168, 21}, u"限定列数：         0为不限列数"},
      {u"编辑框_限定列数", "QLineEdit", {167, 84, 32, 21}, u"0"},
      {u"标签5", "QLabel", {290, 89, 68, 21}, u"处理用时："},
      {u"标签_处理用时", "QLabel", {358, 89, 92, 21}, u"0"},
  };
  MainWindow window([](RunControls&) { return RunOutcome::kFinished; });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  const QStringList cjk_faces = QStringList{kWindowFontFamily} + WindowFontFallbacks();
  for (const Control& c : controls) {
    const QString name = QString::fromUtf16(c.name);
    SCOPED_TRACE(name.toStdString());
    auto* widget = Find<QWidget>(window, name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.kind);
    EXPECT_EQ(widget->geometry(), c.geometry);
    if (c.text != nullptr) {
      EXPECT_EQ(widget->property("text").toString(), QString::fromUtf16(c.text));
    }
    EXPECT_TRUE(widget->isVisible());

    const QFont font = widget->font();
    EXPECT_EQ(font.family(), QStringLiteral("微软雅黑"));
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic());
    EXPECT_FALSE(font.underline());
    // Where 微软雅黑 is missing, an installed CJK face stands in for it.
    EXPECT_TRUE(cjk_faces.contains(QFontInfo(font).family())) << QFontInfo(font).family().toStdString();
    EXPECT_TRUE(QFontMetrics(font).inFontUcs4(U'转'));
  }
  EXPECT_EQ(window.findChildren<QWidget*>().size(), std::size(controls));

  // The column-limit edit box lies over the spaces of 标签3.
  auto* column_limit = Find<QWidget>(window, QStringLiteral("编辑框_限定列数"));
  QWidget* on_top = window.childAt(column_limit->geometry().center());
  EXPECT_TRUE(on_top == column_limit || column_limit->isAncestorOf(on_top));
}

// The click resets the counters and disables the button before the run
// exists; the button comes back only when the run's thread has ended, even
// if the run asked for it earlier.
TEST(MainWindowTest, ButtonIsDisabledFromTheClickUntilTheRunEnds) {
  Gate convert, leave;
  std::atomic<int> runs = 0;
  std::atomic<bool> timer_started = false;
  MainWindow window([&](RunControls& controls) {
    ++runs;
    controls.Tick();
    controls.SetTimerPeriod(1000);
    timer_started = true;
    convert.Wait();
    controls.SetCounterText(Counter::kProcessed, "1234");
    controls.SetCounterText(Counter::kErrors, "5");
    FinishLikeARun(controls);
    leave.Wait();  // the run still has its state to release
    return RunOutcome::kFinished;
  });
  window.show();
  ButtonWatch watch(window);
  QSignalSpy finished(&window, &MainWindow::runFinished);

  Click(window);
  EXPECT_FALSE(StartButton(window)->isEnabled());
  EXPECT_TRUE(window.RunInProgress());
  ASSERT_TRUE(QTest::qWaitFor([&] { return timer_started.load(); }, kRunTimeoutMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return ElapsedLabel(window)->text() == "1 s"; }, kRunTimeoutMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Find<QTimer>(window, QStringLiteral("时钟1"))->isActive(); },
                              kRunTimeoutMs));
  Click(window);  // ignored: the button is disabled
  EXPECT_EQ(runs, 1);

  convert.Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ElapsedLabel(window)->text().endsWith(" 完成"); }, kRunTimeoutMs));
  EXPECT_FALSE(StartButton(window)->isEnabled());
  EXPECT_TRUE(window.RunInProgress());

  leave.Open();
  ASSERT_TRUE(WaitForRunEnd(window));
  EXPECT_TRUE(StartButton(window)->isEnabled());
  EXPECT_EQ(ProcessedLabel(window)->text(), "1234");
  EXPECT_EQ(ErrorsLabel(window)->text(), "5");
  EXPECT_EQ(ElapsedLabel(window)->text(), "1 s 完成");
  EXPECT_FALSE(Find<QTimer>(window, QStringLiteral("时钟1"))->isActive());
  EXPECT_EQ(watch.enabled_count(), 1);
  EXPECT_EQ(watch.enabled_while_running(), 0);
  ASSERT_EQ(finished.size(), 1);
  EXPECT_EQ(finished[0][0].value<RunOutcome>(), RunOutcome::kFinished);
  EXPECT_EQ(runs, 1);
}

TEST(MainWindowTest, SecondRunStartsFromZero) {
  std::atomic<int> run_number = 0;
  std::vector<std::string> seen_at_start;  // written by the run's thread, read after it ended
  MainWindow window([&](RunControls& controls) {
    const int n = ++run_number;
    for (Counter c : {Counter::kProcessed, Counter::kErrors, Counter::kElapsed}) {
      seen_at_start.push_back(controls.CounterText(c));
    }
    controls.Tick();
    controls.SetTimerPeriod(1000);
    controls.SetCounterText(Counter::kProcessed, n == 1 ? "2500" : "10");
    controls.SetCounterText(Counter::kErrors, n == 1 ? "7" : "3");
    FinishLikeARun(controls);
    return RunOutcome::kFinished;
  });
  window.show();

  Click(window);
  ASSERT_TRUE(WaitForRunEnd(window));
  EXPECT_EQ(ProcessedLabel(window)->text(), "2500");
  EXPECT_EQ(ErrorsLabel(window)->text(), "7");
  EXPECT_EQ(ElapsedLabel(window)->text(), "1 s 完成");

  Click(window);
  // The click itself shows the zeros, before the run has done anything.
  EXPECT_EQ(ProcessedLabel(window)->text(), "0");
  EXPECT_EQ(ErrorsLabel(window)->text(), "0");
  EXPECT_EQ(ElapsedLabel(window)->text(), "0");
  ASSERT_TRUE(WaitForRunEnd(window));
  EXPECT_EQ(ProcessedLabel(window)->text(), "10");
  EXPECT_EQ(ErrorsLabel(window)->text(), "3");
  EXPECT_EQ(ElapsedLabel(window)->text(), "1 s 完成");
  EXPECT_EQ(seen_at_start, (std::vector<std::string>{"0", "0", "0", "0", "0", "0"}));
}

TEST(MainWindowTest, TimerTicksDuringTheRunOnly) {
  Gate done;
  MainWindow window([&](RunControls& controls) {
    controls.Tick();
    controls.SetTimerPeriod(10);  // a fast timer: the window's ticks show within moments
    done.Wait();
    FinishLikeARun(controls);
    return RunOutcome::kFinished;
  });
  window.show();
  Click(window);
  EXPECT_TRUE(QTest::qWaitFor([&] { return TextToInteger(ElapsedLabel(window)->text().toStdString()) >= 3; },
                              kRunTimeoutMs));
  done.Open();
  ASSERT_TRUE(WaitForRunEnd(window));
  const QString final_text = ElapsedLabel(window)->text();
  EXPECT_TRUE(final_text.endsWith(" 完成")) << final_text.toStdString();
  QTest::qWait(100);  // ten more periods: nothing may tick any more
  EXPECT_EQ(ElapsedLabel(window)->text(), final_text);
}

// A failure the run reports: the message reaches the presenter with its
// caption, the run waits until it is dismissed, and there is no " 完成".
TEST(MainWindowTest, ReportedFailureReachesThePresenter) {
  RecordingPresenter presenter;
  std::atomic<size_t> shown_before_return = 0;
  MainWindow window(
      [&](RunControls& controls) {
        controls.Tick();
        controls.SetTimerPeriod(1000);
        controls.ShowMessage("无法打开输入文件 /nowhere/x.json：No such file or directory", "信息：");
        shown_before_return = presenter.messages().size();
        controls.SetStartEnabled(true);
        controls.SetTimerPeriod(0);
        return RunOutcome::kFailed;
      },
      &presenter);
  window.show();
  QSignalSpy end_program(&window, &MainWindow::endProgramRequested);
  Click(window);
  ASSERT_TRUE(WaitForRunEnd(window));

  ASSERT_EQ(presenter.messages().size(), 1u);
  EXPECT_EQ(presenter.messages()[0].text, QStringLiteral("无法打开输入文件 /nowhere/x.json：No such file or directory"));
  EXPECT_EQ(presenter.messages()[0].caption, QStringLiteral("信息："));
  EXPECT_EQ(shown_before_return, 1u);
  EXPECT_EQ(ElapsedLabel(window)->text(), "1 s");
  EXPECT_TRUE(StartButton(window)->isEnabled());
  EXPECT_EQ(end_program.size(), 0);
}

// Without a presenter of its own the window shows a modal box: caption
// "信息：", the text, one OK button; the run goes on only once it is closed.
// The box runs its own event loop, so the test looks at it from a timer.
TEST(MainWindowTest, MessageBoxHasOneOkButtonAndHoldsTheRun) {
  std::atomic<bool> returned = false;
  MainWindow window([&](RunControls& controls) {
    controls.ShowMessage("一大块文本读取失败,程序崩溃！", "信息：");
    returned = true;
    return RunOutcome::kEndProgram;
  });
  window.show();
  QSignalSpy end_program(&window, &MainWindow::endProgramRequested);

  struct Seen {
    int polls_while_open = 0;
    QString title, text;
    QList<QAbstractButton*> buttons;
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    bool returned_while_open = false;
    qsizetype end_program_while_open = -1;
  } seen;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    if (++seen.polls_while_open < 5) return;  // let the run wait a little
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.buttons = box->buttons();
    if (!seen.buttons.empty()) seen.button = box->standardButton(seen.buttons[0]);
    seen.returned_while_open = returned;
    seen.end_program_while_open = end_program.size();
    poll.stop();
    box->button(QMessageBox::Ok)->click();
  });
  poll.start(10);

  Click(window);
  ASSERT_TRUE(WaitForRunEnd(window));
  EXPECT_EQ(seen.polls_while_open, 5);
  EXPECT_EQ(seen.title, QStringLiteral("信息："));
  EXPECT_EQ(seen.text, QStringLiteral("一大块文本读取失败,程序崩溃！"));
  EXPECT_EQ(seen.buttons.size(), 1);
  EXPECT_EQ(seen.button, QMessageBox::Ok);
  EXPECT_FALSE(seen.returned_while_open);
  EXPECT_EQ(seen.end_program_while_open, 0);
  EXPECT_TRUE(returned);
  // The block-read failure ends the program (exit code 0) after the box.
  ASSERT_EQ(end_program.size(), 1);
  EXPECT_EQ(end_program[0][0].toInt(), 0);
  EXPECT_FALSE(StartButton(window)->isEnabled());
}

// A window that goes away while its run waits on a message does not hang:
// the run is let go and the window waits for it.
TEST(MainWindowTest, ClosingDuringAMessageLetsTheRunGo) {
  RecordingPresenter presenter;
  std::atomic<bool> waiting = false;
  std::atomic<bool> returned = false;
  auto window = std::make_unique<MainWindow>(
      [&](RunControls& controls) {
        waiting = true;
        controls.ShowMessage("text", "信息：");
        returned = true;
        return RunOutcome::kFailed;
      },
      &presenter);
  Click(*window);
  while (!waiting) std::this_thread::yield();  // no events: the window never takes the message
  window.reset();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(presenter.messages().empty());
}

}  // namespace
}  // namespace ombrelk::window
