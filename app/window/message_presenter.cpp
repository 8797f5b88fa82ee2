#include "app/window/message_presenter.h"

#include <QMessageBox>

namespace ombrelk::window {

void MessageBoxPresenter::Present(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace ombrelk::window
