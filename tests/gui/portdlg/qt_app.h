// One QApplication for every dialog test in the program.
#pragma once
#include <QApplication>
#include <QThread>

namespace tw::test {

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "gui_portdlg";
  static char* argv[] = {name, nullptr};
  // These tests never need a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// Runs the event loop for about ms milliseconds.
inline void Spin(int ms) {
  for (int i = 0; i < ms / 5; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
}

}  // namespace tw::test
