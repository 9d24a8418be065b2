#include "tests/support/qt/qt_test_support.h"

#include <stdlib.h>

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QTimer>
#include <QtGlobal>
#include <filesystem>
#include <string>
#include <system_error>

platform::FakeJoystickDevice& test_joystick() {
  static platform::FakeJoystickDevice* joystick = new platform::FakeJoystickDevice;
  return *joystick;
}

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
  platform::set_joystick_device(&test_joystick());
}

class ModalCloser::Timer : public QTimer {
 public:
  explicit Timer(QStringList* closed) {
    setInterval(10);
    connect(this, &QTimer::timeout, this, [this, closed] {
      if (++m_ticks > 500) stop();
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        closed->append(dialog->windowTitle());
        dialog->reject();
      }
    });
    start();
  }

 private:
  int m_ticks = 0;
};

ModalCloser::ModalCloser() : m_timer(new Timer(&m_closed)) {}
ModalCloser::~ModalCloser() { delete m_timer; }

bool is_indicator_blue(QRgb pixel) {
  return qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 255;
}

int blue_run(const QImage& image, int x, int y) {
  int run = 0;
  while (x + run < image.width() && is_indicator_blue(image.pixel(x + run, y))) ++run;
  return run;
}

int blue_pixels(const QImage& image, const QRect& rect) {
  int count = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      if (is_indicator_blue(image.pixel(x, y))) ++count;
    }
  }
  return count;
}
