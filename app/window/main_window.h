// The whole user interface: one small window in which the user names the
// input file, sets the column limit, chooses whether to keep the error lines,
// starts a conversion run and watches three counters.
//
// Threads: the window lives on the toolkit's thread. A run gets a thread of
// its own and talks to the window only through a RunLink; the window takes
// the run's requests and copies the counter texts into the labels on its own
// thread, every kRefreshMilliseconds while the run lasts and once more at its
// end. The button stays disabled from the click until the run's thread has
// ended, which is the guard against a second run on the same files.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <thread>

#include "app/window/counter_board.h"
#include "app/window/message_presenter.h"
#include "app/window/run_link.h"
#include "conversion/conversion_run.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ombrelk::window {

// One conversion run to its end on the calling thread (the program passes
// ConversionWorker; tests pass their own).
using RunFunction = std::function<RunOutcome(RunControls&)>;

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshMilliseconds = 100;

  // `presenter` shows the run's messages; null means a modal message box. A
  // presenter given must outlive the window.
  explicit MainWindow(RunFunction run, MessagePresenter* presenter = nullptr,
                      QWidget* parent = nullptr);
  // Waits for a run in progress to end (its messages are no longer shown).
  // The program does not wait: it ends at once when the window is closed.
  ~MainWindow() override;

  // From the click until the run's thread has ended.
  bool RunInProgress() const { return link_ != nullptr; }

  // The program's directory followed by the separator and "test.json".
  static QString DefaultInputPath();

 signals:
  // A run's thread has ended and the window shows the run's final state.
  void runFinished(ombrelk::RunOutcome outcome);
  // The run asked for the program to end (a block could not be read); its
  // message has been shown and dismissed.
  void endProgramRequested(int exit_code);

 private:
  void BuildControls();
  void StartRun();
  void TimerTick();
  void TakeRunRequests();
  void EndRun(RunOutcome outcome);
  void ShowCounters();

  RunFunction run_;
  MessageBoxPresenter box_presenter_;
  MessagePresenter* presenter_;

  QLabel* label1_ = nullptr;
  QLineEdit* input_path_ = nullptr;     // 编辑框_输入文件Json
  QLabel* label4_ = nullptr;
  QLabel* processed_ = nullptr;         // 标签_已完成数
  QTimer* elapsed_timer_ = nullptr;     // 时钟1
  QCheckBox* record_errors_ = nullptr;  // 选择框_记录错误
  QPushButton* start_ = nullptr;        // 按钮_批量转换
  QLabel* label2_ = nullptr;
  QLabel* errors_ = nullptr;            // 标签_错误行
  QLabel* label3_ = nullptr;
  QLineEdit* column_limit_ = nullptr;   // 编辑框_限定列数
  QLabel* label5_ = nullptr;
  QLabel* elapsed_ = nullptr;           // 标签_处理用时

  CounterBoard counters_;
  uint64_t counters_shown_ = 0;  // the board's generation the labels show
  QTimer refresh_timer_;         // runs while a run is in progress

  // The run in progress; both null/empty when idle.
  std::unique_ptr<RunLink> link_;
  std::thread thread_;
  bool start_wanted_ = false;  // the button's state the run asked for last
};

}  // namespace ombrelk::window

Q_DECLARE_METATYPE(ombrelk::RunOutcome)
