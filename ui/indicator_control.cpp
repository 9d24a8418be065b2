#include "ui/indicator_control.h"

#include <QApplication>
#include <QPainter>

#include "joystick/joystick.h"
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

void IndicatorControl::paintEvent(QPaintEvent* event) {
  {
    QPainter face(this);
    face.fillRect(rect(), palette().window());
  }
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
    paint_axis_bar(painter, client.size(), m_raw, g_axis_range);
  } else {
    paint_button_box(painter, client.size(), m_pressed);
  }
}
