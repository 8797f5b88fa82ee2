// Helpers shared by the window tests: finding controls by name, waiting for a
// run to end, a presenter that records messages, and a watch on the button.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <mutex>
#include <vector>

#include "app/window/main_window.h"
#include "app/window/message_presenter.h"

namespace ombrelk::window::testing {

inline constexpr int kRunTimeoutMs = 60000;  // generous: sanitizer builds are slow

template <class Control>
Control* Find(MainWindow& window, const QString& name) {
  auto* control = window.findChild<Control*>(name);
  EXPECT_NE(control, nullptr) << name.toStdString();
  return control;
}

inline QPushButton* StartButton(MainWindow& w) { return Find<QPushButton>(w, QStringLiteral("按钮_批量转换")); }
inline QLabel* ProcessedLabel(MainWindow& w) { return Find<QLabel>(w, QStringLiteral("标签_已完成数")); }
inline QLabel* ErrorsLabel(MainWindow& w) { return Find<QLabel>(w, QStringLiteral("标签_错误行")); }
inline QLabel* ElapsedLabel(MainWindow& w) { return Find<QLabel>(w, QStringLiteral("标签_处理用时")); }
inline QLineEdit* InputPathEdit(MainWindow& w) { return Find<QLineEdit>(w, QStringLiteral("编辑框_输入文件Json")); }

inline void Click(MainWindow& window) { QTest::mouseClick(StartButton(window), Qt::LeftButton); }

// True when the run ended within the timeout.
inline bool WaitForRunEnd(MainWindow& window) {
  return QTest::qWaitFor([&] { return !window.RunInProgress(); }, kRunTimeoutMs);
}

struct Message {
  QString text;
  QString caption;
};

// Records each message and returns at once, as if the user pressed OK.
class RecordingPresenter final : public MessagePresenter {
 public:
  void Present(QWidget*, const QString& text, const QString& caption) override {
    std::lock_guard lock(mutex_);
    messages_.push_back({text, caption});
  }
  std::vector<Message> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

// Watches the start button: it may become enabled only when no run is in
// progress, so a second run can never start while one lasts.
class ButtonWatch final : public QObject {
 public:
  explicit ButtonWatch(MainWindow& window) : window_(window), button_(StartButton(window)) {
    button_->installEventFilter(this);
  }
  ~ButtonWatch() override { button_->removeEventFilter(this); }

  int enabled_while_running() const { return enabled_while_running_; }
  int enabled_count() const { return enabled_count_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == button_ && event->type() == QEvent::EnabledChange && button_->isEnabled()) {
      ++enabled_count_;
      if (window_.RunInProgress()) ++enabled_while_running_;
    }
    return false;
  }

 private:
  MainWindow& window_;
  QAbstractButton* button_;
  int enabled_while_running_ = 0;
  int enabled_count_ = 0;
};

}  // namespace ombrelk::window::testing
