// How the window shows a run's message to the user. The window calls it on
// its own thread and the run waits until it returns; tests put in a presenter
// that records the message and returns at once.
#pragma once

#include <QString>

class QWidget;

namespace ombrelk::window {

class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  // Returns once the user has dismissed the message.
  virtual void Present(QWidget* parent, const QString& text, const QString& caption) = 0;
};

// A modal message box with the text, the caption and one OK button.
class MessageBoxPresenter final : public MessagePresenter {
 public:
  void Present(QWidget* parent, const QString& text, const QString& caption) override;
};

}  // namespace ombrelk::window
