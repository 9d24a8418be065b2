#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include "ui/qt_test_environment.h"

class QWidget;

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
