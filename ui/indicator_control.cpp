#include "ui/indicator_control.h"

#include <QApplication>
#include <QPainter>

#include "ui/drawing.h"

IndicatorControl::IndicatorControl(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  // Every pixel is painted here, on the dialog's face colour, so a new value
  // repaints this control alone and not the dialog and the frame under it.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

// An indicator repaints only when what it shows changes: the same value would
// paint the same pixels, and repainting all twelve on every tick of the
// display timer costs a resting window several per cent of a core.
void IndicatorControl::show_axis_bar(std::int32_t raw) {
  if (m_drawing == Drawing::AXIS_BAR && m_raw == raw) return;
  m_drawing = Drawing::AXIS_BAR;
  m_raw = raw;
  update();
}

void IndicatorControl::show_button_box(bool pressed) {
  if (m_drawing == Drawing::BUTTON_BOX && m_pressed == pressed) return;
  m_drawing = Drawing::BUTTON_BOX;
  m_pressed = pressed;
  update();
}

void IndicatorControl::set_axis_range(float axis_range) {
  if (axis_range == m_axis_range) return;
  m_axis_range = axis_range;
  update();
}

// The sunken edge one pixel wide, dark at the top and left and light at the
// bottom and right, as the frame style draws it, but as four filled
// rectangles: drawing it as a shaded panel's lines costs more than the rest.
void IndicatorControl::draw_sunken_edge(QPainter& painter) const {
  const int w = width();
  const int h = height();
  const QColor dark = palette().color(QPalette::Dark);
  const QColor light = palette().color(QPalette::Light);
  painter.fillRect(QRect(0, 0, w - 1, 1), dark);
  painter.fillRect(QRect(0, 1, 1, h - 2), dark);
  painter.fillRect(QRect(0, h - 1, w, 1), light);
  painter.fillRect(QRect(w - 1, 0, 1, h - 1), light);
}

void IndicatorControl::paintEvent(QPaintEvent*) {
  // One painter for the face, the sunken edge and the drawing: each painter
  // begun on a widget costs more than what this one paints.
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  draw_sunken_edge(painter);
  if (m_drawing == Drawing::NONE) return;
  // Drawn inside the sunken edge, which stays; whatever reaches past the
  // inside is cut off there.
  QRect client = contentsRect();
  painter.setClipRect(client);
  painter.translate(client.topLeft());
  if (m_drawing == Drawing::AXIS_BAR) {
    // The text is in the program's general font, not the dialog's.
    painter.setFont(QApplication::font());
    paint_axis_bar(painter, client.size(), m_raw, m_axis_range);
  } else {
    paint_button_box(painter, client.size(), m_pressed);
  }
}
