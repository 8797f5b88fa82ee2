#include "app/window/main_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <system_error>
#include <type_traits>
#include <utility>

#include "app/window/window_font.h"

namespace ombrelk::window {
namespace {

// Places a control of the window: its name (also its object name), its
// position and size in pixels, and its text.
template <class Control>
Control* Place(QWidget* window, const QString& name, int left, int top, int width, int height,
               const QString& text) {
  auto* control = new Control(window);
  control->setObjectName(name);
  control->setGeometry(left, top, width, height);
  control->setText(text);
  if constexpr (std::is_same_v<Control, QLabel>) control->setTextFormat(Qt::PlainText);
  return control;
}

}  // namespace

MainWindow::MainWindow(RunFunction run, MessagePresenter* presenter, QWidget* parent)
    : QWidget(parent),
      run_(std::move(run)),
      presenter_(presenter != nullptr ? presenter : &box_presenter_) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("OmbrelkV1.1  支持GB级文本"));
  setFont(WindowFont());
  move(50, 50);
  setFixedSize(466, 145);  // the controls have fixed places; a larger window shows nothing more
  BuildControls();
  // The window's creation: the default input path.
  input_path_->setText(DefaultInputPath());

  connect(start_, &QPushButton::clicked, this, &MainWindow::StartRun);
  connect(elapsed_timer_, &QTimer::timeout, this, &MainWindow::TimerTick);
  connect(&refresh_timer_, &QTimer::timeout, this, &MainWindow::TakeRunRequests);
}

MainWindow::~MainWindow() {
  if (link_) {
    link_->Abandon();
    thread_.join();
  }
}

QString MainWindow::DefaultInputPath() {
  return QDir::toNativeSeparators(
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("test.json")));
}

void MainWindow::BuildControls() {
  // In this order, so that 编辑框_限定列数 lies above the spaces of 标签3.
  label1_ = Place<QLabel>(this, QStringLiteral("标签1"), 8, 16, 64, 24, QStringLiteral("Json文件："));
  input_path_ = Place<QLineEdit>(this, QStringLiteral("编辑框_输入文件Json"), 72, 16, 380, 24, {});
  label4_ = Place<QLabel>(this, QStringLiteral("标签4"), 290, 42, 68, 21, QStringLiteral("已处理行："));
  processed_ = Place<QLabel>(this, QStringLiteral("标签_已完成数"), 358, 42, 92, 21, QStringLiteral("0"));
  // 时钟1 has no place on screen; its period is 0 (stopped) until a run starts it.
  elapsed_timer_ = new QTimer(this);
  elapsed_timer_->setObjectName(QStringLiteral("时钟1"));
  record_errors_ =
      Place<QCheckBox>(this, QStringLiteral("选择框_记录错误"), 109, 54, 72, 21, QStringLiteral("记录错误"));
  start_ = Place<QPushButton>(this, QStringLiteral("按钮_批量转换"), 16, 64, 72, 32, QStringLiteral("批量转换"));
  label2_ = Place<QLabel>(this, QStringLiteral("标签2"), 290, 65, 68, 21, QStringLiteral("错误行："));
  errors_ = Place<QLabel>(this, QStringLiteral("标签_错误行"), 358, 65, 92, 21, QStringLiteral("0"));
  label3_ = Place<QLabel>(this, QStringLiteral("标签3"), 108, 84, 168, 21,
                          QStringLiteral("限定列数：         0为不限列数"));
  column_limit_ = Place<QLineEdit>(this, QStringLiteral("编辑框_限定列数"), 167, 84, 32, 21, QStringLiteral("0"));
  label5_ = Place<QLabel>(this, QStringLiteral("标签5"), 290, 89, 68, 21, QStringLiteral("处理用时："));
  elapsed_ = Place<QLabel>(this, QStringLiteral("标签_处理用时"), 358, 89, 92, 21, QStringLiteral("0"));
}

void MainWindow::StartRun() {
  if (link_) return;  // the button is disabled during a run; this is only a second lock
  counters_.Reset();
  ShowCounters();
  start_->setEnabled(false);
  start_wanted_ = false;

  RunSettings settings;
  settings.record_errors = record_errors_->isChecked();
  settings.column_limit_text = column_limit_->text().toStdString();
  settings.input_path = QFile::encodeName(input_path_->text()).toStdString();
  link_ = std::make_unique<RunLink>(counters_, std::move(settings));
  try {
    thread_ = std::thread([run = run_, link = link_.get()] { link->Finish(run(*link)); });
  } catch (const std::system_error&) {
    // No thread, no run: the window stays usable rather than locked.
    link_.reset();
    start_->setEnabled(true);
    return;
  }
  refresh_timer_.start(kRefreshMilliseconds);
}

void MainWindow::TimerTick() {
  if (counters_.TimerTick()) ShowCounters();
}

void MainWindow::TakeRunRequests() {
  if (!link_) return;
  RunRequests requests = link_->TakeRequests();
  if (requests.timer_period) {
    if (*requests.timer_period > 0) {
      elapsed_timer_->start(*requests.timer_period);
    } else {
      elapsed_timer_->stop();
    }
  }
  if (requests.start_enabled) start_wanted_ = *requests.start_enabled;
  ShowCounters();
  if (requests.message) {
    // The box runs a nested event loop in which this function is called
    // again; the run waits meanwhile, so nothing but counters can come in.
    presenter_->Present(this, QString::fromStdString(requests.message->text),
                        QString::fromStdString(requests.message->caption));
    if (link_) link_->AnswerMessage();
  }
  if (requests.outcome) EndRun(*requests.outcome);
}

void MainWindow::EndRun(RunOutcome outcome) {
  thread_.join();
  link_.reset();
  refresh_timer_.stop();
  // An idle window has no running timer, whatever the run left behind.
  counters_.SetTimerRunning(false);
  elapsed_timer_->stop();
  ShowCounters();
  start_->setEnabled(start_wanted_);
  emit runFinished(outcome);
  if (outcome == RunOutcome::kEndProgram) emit endProgramRequested(0);
}

void MainWindow::ShowCounters() {
  CounterBoard::Texts texts;
  if (!counters_.TakeIfChanged(counters_shown_, texts)) return;
  using Counter = CounterBoard::Counter;
  processed_->setText(QString::fromStdString(texts[static_cast<size_t>(Counter::kProcessed)]));
  errors_->setText(QString::fromStdString(texts[static_cast<size_t>(Counter::kErrors)]));
  elapsed_->setText(QString::fromStdString(texts[static_cast<size_t>(Counter::kElapsed)]));
}

}  // namespace ombrelk::window
