#pragma once

#include <QColor>
#include <QSize>
#include <cstdint>

#include "monitor/monitor_model.h"

class QPainter;

// What the monitor draws in its indicator controls: INDICATOR_FILL (pure
// blue) for bars, the cell behind their text and pressed buttons, and
// INDICATOR_TEXT (white) for the value.
inline const QColor INDICATOR_BLUE(INDICATOR_FILL.red, INDICATOR_FILL.green, INDICATOR_FILL.blue);
inline const QColor INDICATOR_WHITE(INDICATOR_TEXT.red, INDICATOR_TEXT.green, INDICATOR_TEXT.blue);

// Paints an axis bar into the inside of a control, (0, 0) at its top left:
// the bar (none for a width of 0 or less), then raw as "%d" in white on an
// opaque blue cell at (2, 2), in the painter's font.
void paint_axis_bar(QPainter& painter, QSize client, std::int32_t raw, float axis_range);

// Paints a button box: the whole inside blue when pressed, nothing otherwise.
void paint_button_box(QPainter& painter, QSize client, bool pressed);
