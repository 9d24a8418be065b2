// Application tests run on Qt's offscreen platform with joystick 0 faked, and
// with the stop signals blocked as the real program blocks them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <string>

#include "app/stop_signals.h"
#include "app/test_support.h"

platform::FakeJoysticks& test_joystick() {
  static platform::FakeJoysticks* joystick = new platform::FakeJoysticks;
  return *joystick;
}

int main(int argc, char** argv) {
  block_stop_signals();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    std::string runtime_dir = "/tmp/orvandel-app-tests-" + std::to_string(::getuid());
    ::mkdir(runtime_dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime_dir.c_str());
  }
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  platform::set_joysticks(&test_joystick());
  return RUN_ALL_TESTS();
}
