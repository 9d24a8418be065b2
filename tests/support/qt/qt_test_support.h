#pragma once

// What the widget and application tests share. Every Qt test binary runs on
// Qt's offscreen platform, with a private runtime directory as a desktop
// session has one (Qt warns without it), and with joystick 0 faked for the
// whole run (a server thread a test starts keeps reading it until the process
// ends). qt_test_main.cpp sets that up before the QApplication exists.

#include <QImage>
#include <QString>
#include <QStringList>

#include "platform/fake_joystick_device.h"

// The joystick 0 every test of the binary reads.
platform::FakeJoystickDevice& test_joystick();

// Sets up the environment above; suite names the runtime directory used when
// the environment has none.
void prepare_qt_test_environment(const char* suite);

// Closes every modal dialog that opens while it exists (checking every 10 ms,
// for at most 5 s) and records their captions, so a test can run code that
// opens a modal box without blocking for ever.
class ModalCloser {
 public:
  ModalCloser();
  ~ModalCloser();
  ModalCloser(const ModalCloser&) = delete;
  ModalCloser& operator=(const ModalCloser&) = delete;

  const QStringList& closed() const { return m_closed; }

 private:
  class Timer;
  Timer* m_timer;
  QStringList m_closed;
};

// Pure blue, the indicators' colour.
bool is_indicator_blue(QRgb pixel);
// The number of blue pixels in a row of image from x on, up to the first other pixel.
int blue_run(const QImage& image, int x, int y);
// The number of blue pixels in a rectangle of image.
int blue_pixels(const QImage& image, const QRect& rect);
