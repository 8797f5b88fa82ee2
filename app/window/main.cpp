// ombrelk: the window. Start-up, in this order: the toolkit, the window (its
// creation fills in the default input path), the event loop until the window
// is closed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/window/main_window.h"
#include "conversion/conversion_run.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  ombrelk::window::MainWindow window(
      [](ombrelk::RunControls& controls) { return ombrelk::ConversionWorker(controls).Run(); });
  // A block that cannot be read ends the program once its message is closed.
  QObject::connect(&window, &ombrelk::window::MainWindow::endProgramRequested, &app,
                   [](int exit_code) { QCoreApplication::exit(exit_code); });
  window.show();

  const int exit_code = app.exec();
  if (window.RunInProgress()) {
    // The window was closed during a run: the program ends now, not when the
    // run would have ended. The outputs hold what the run had written.
    std::fflush(nullptr);
    std::_Exit(exit_code);
  }
  return exit_code;
}
