#include "ui/qt_test_environment.h"

#include <stdlib.h>

#include <QByteArray>
#include <QtGlobal>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// A runtime directory of this test process's own, removed when it exits:
// test processes run side by side, and none may leave anything in /tmp.
struct PrivateRuntimeDir {
  std::string path;
  ~PrivateRuntimeDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

platform::FakeJoysticks& test_joystick() {
  static platform::FakeJoysticks* joystick = new platform::FakeJoysticks;
  return *joystick;
}

void prepare_qt_test_environment(const char* suite) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    static PrivateRuntimeDir runtime_dir;
    std::string pattern = "/tmp/orvandel-" + std::string(suite) + ".XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
      runtime_dir.path = pattern;
      qputenv("XDG_RUNTIME_DIR", pattern.c_str());
    }
  }
  platform::set_joysticks(&test_joystick());
}
