// Widget tests run in the Qt test environment (offscreen, joystick 0 faked).

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "ui/qt_test_environment.h"
#include "ui/ui_test_support.h"

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

int main(int argc, char** argv) {
  prepare_qt_test_environment("ui-tests");
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
