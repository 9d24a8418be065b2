// Application tests run on Qt's offscreen platform with joystick 0 faked, and
// with the stop signals blocked as the real program blocks them.

#include <gtest/gtest.h>

#include <QApplication>

#include "app/stop_signals.h"
#include "ui/qt_test_environment.h"

int main(int argc, char** argv) {
  block_stop_signals();
  prepare_qt_test_environment("app-tests");
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
