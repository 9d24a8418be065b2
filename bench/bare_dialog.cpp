// The floor the monitor window is measured against: a Qt dialog that does
// nothing but wake on a 20 ms timer, as a timer-driven window would at the
// least. bench/window-cpu runs it beside the real program.

#include <QApplication>
#include <QDialog>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Bare dialog"));
  dialog.resize(300, 200);
  QTimer timer;
  timer.start(20);
  dialog.show();
  return dialog.exec();
}
