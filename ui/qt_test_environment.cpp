#include "ui/qt_test_environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>
#include <string>

platform::FakeJoysticks& test_joystick() {
  static platform::FakeJoysticks* joystick = new platform::FakeJoysticks;
  return *joystick;
}

void prepare_qt_test_environment(const char* suite) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    std::string runtime_dir =
        "/tmp/orvandel-" + std::string(suite) + "-" + std::to_string(::getuid());
    ::mkdir(runtime_dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime_dir.c_str());
  }
  platform::set_joysticks(&test_joystick());
}
