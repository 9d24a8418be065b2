#pragma once

#include <QFrame>
#include <cstdint>

class QPainter;

// A sunken, empty static control on which the monitor draws an indicator: an
// axis bar with its raw value, or a button box. It keeps the last drawing put
// on it and paints it again whenever it is repainted, until the next drawing
// replaces it; before the first it is an empty sunken box.
class IndicatorControl : public QFrame {
  Q_OBJECT

 public:
  explicit IndicatorControl(QWidget* parent);

  // Each keeps what it is given and schedules a repaint when it differs
  // from what is shown.
  void show_axis_bar(std::int32_t raw);
  void show_button_box(bool pressed);
  // The raw value an axis bar fills the whole inside width at (0 until set:
  // then no bar is drawn, only the value).
  void set_axis_range(float axis_range);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void draw_sunken_edge(QPainter& painter) const;

  enum class Drawing { NONE, AXIS_BAR, BUTTON_BOX };
  Drawing m_drawing = Drawing::NONE;
  std::int32_t m_raw = 0;
  float m_axis_range = 0.0f;
  bool m_pressed = false;
};
