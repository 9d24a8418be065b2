#pragma once

#include <QColor>
#include <QSize>
#include <cstdint>

class QPainter;

// What the monitor draws in its indicator controls. Pure blue (red 0, green 0,
// blue 255) for bars, the cell behind their text and pressed buttons.
inline const QColor INDICATOR_BLUE(0, 0, 255);

// The bar's width in pixels: raw / axis_range * client_width, in double
// precision, truncated toward zero. Not clamped to the control (the control
// clips it): a raw value above the range gives a width above client_width, a
// negative one a negative width. 0 when the result is not finite (a range of
// 0); held within the range of int.
int axis_bar_width(std::int32_t raw, float axis_range, int client_width);

// Paints an axis bar into the inside of a control, (0, 0) at its top left:
// the bar (none for a width of 0 or less), then raw as "%d" in white on an
// opaque blue cell at (2, 2), in the painter's font.
void paint_axis_bar(QPainter& painter, QSize client, std::int32_t raw, float axis_range);

// Paints a button box: the whole inside blue when pressed, nothing otherwise.
void paint_button_box(QPainter& painter, QSize client, bool pressed);
