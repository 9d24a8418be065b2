#include "ui/svg_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

namespace {

// Below this many pixels the full drawing's thin waves blur away.
constexpr int SMALL_DRAWING_BELOW = 32;

class SvgIconEngine : public QIconEngine {
 public:
  SvgIconEngine(const QString& large_drawing, const QString& small_drawing)
      : m_large(large_drawing), m_small(small_drawing) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    // The pixels the rectangle covers on the device, not its logical size.
    const qreal pixels =
        std::min(rect.width(), rect.height()) * painter->device()->devicePixelRatioF();
    QSvgRenderer renderer(pixels < SMALL_DRAWING_BELOW ? m_small : m_large);
    renderer.render(painter, rect);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, pixmap.rect(), mode, state);
    return pixmap;
  }

  // The sizes a window manager is offered; any other is drawn when asked.
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64), QSize(128, 128)};
  }

  QIconEngine* clone() const override { return new SvgIconEngine(m_large, m_small); }

 private:
  QString m_large;
  QString m_small;
};

}  // namespace

QIcon svg_icon(const QString& large_drawing, const QString& small_drawing) {
  return QIcon(new SvgIconEngine(large_drawing, small_drawing));
}

IconControl::IconControl(const QIcon& icon, QWidget* parent) : QWidget(parent), m_icon(icon) {}

void IconControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  m_icon.paint(&painter, rect());
}
