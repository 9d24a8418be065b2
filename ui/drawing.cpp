#include "ui/drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "monitor/axis_bar.h"

namespace {

// The width of a signed decimal number in a font, from the advances of its
// characters, which the font keeps: measuring the whole text would shape it
// first, and that is most of the cost of painting a moving bar. Digits and
// the minus sign are never kerned or joined, so the sum is the text's width.
int decimal_text_width(const QFont& font, const QString& text) {
  const QFontMetricsF metrics(font);
  qreal width = 0;
  for (QChar c : text) width += metrics.horizontalAdvance(c);
  return qRound(width);
}

}  // namespace

void paint_axis_bar(QPainter& painter, QSize client, std::int32_t raw, float axis_range) {
  int width = axis_bar_width(raw, axis_range, client.width());
  if (width > 0) {
    QRect inside(QPoint(0, 0), client);
    painter.fillRect(QRect(0, 0, width, client.height()).intersected(inside), INDICATOR_BLUE);
  }
  // The text cell is opaque, so the digits stay readable where the bar is
  // shorter than they are.
  QString text = QString::asprintf("%d", raw);
  QFontMetrics metrics(painter.font());
  QRect cell(2, 2, decimal_text_width(painter.font(), text), metrics.height());
  painter.fillRect(cell, INDICATOR_BLUE);
  painter.setPen(INDICATOR_WHITE);
  painter.drawText(cell.left(), cell.top() + metrics.ascent(), text);
}

void paint_button_box(QPainter& painter, QSize client, bool pressed) {
  if (pressed) painter.fillRect(QRect(QPoint(0, 0), client), INDICATOR_BLUE);
}
