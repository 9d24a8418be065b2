#include "ui/indicator_control.h"

#include <QApplication>
#include <QPainter>

#include "ui/drawing.h"

IndicatorControl::IndicatorControl(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
}

void IndicatorControl::show_axis_bar(std::int32_t raw) {
  m_drawing = Drawing::AXIS_BAR;
  m_raw = raw;
  update();
}

void IndicatorControl::show_button_box(bool pressed) {
  m_drawing = Drawing::BUTTON_BOX;
  m_pressed = pressed;
  update();
}

void IndicatorControl::set_axis_range(float axis_range) {
  m_axis_range = axis_range;
  update();
}

void IndicatorControl::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (m_drawing == Drawing::NONE) return;
  // Drawn inside the sunken edge, which stays; whatever reaches past the
  // inside is cut off there.
  QRect client = contentsRect();
  QPainter painter(this);
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
