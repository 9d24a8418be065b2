#pragma once

#include <QWidget>
#include <cstdint>

// The monitor's drawing on its indicator controls, found by control id. A
// missing control (or one that is not an indicator) is skipped.

// Shows raw on the axis bar control id of dialog: a bar from the left,
// raw / axis range of the control's inside width, and raw in decimal at (2, 2).
void draw_axis_bar(QWidget* dialog, int id, std::int32_t raw);

// Shows the button box control id of dialog filled when pressed is non-zero,
// empty otherwise.
void draw_button_box(QWidget* dialog, int id, std::uint32_t pressed);

// Gives the axis bar control id of dialog the axis range it divides by.
void set_axis_bar_range(QWidget* dialog, int id, float axis_range);
