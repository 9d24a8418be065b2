#pragma once

#include <windows.h>

#include <cstdint>

// The monitor's indicator drawings on Windows: straight onto the control
// through a device context of its own, right after the control repainted
// itself empty.

#include "monitor/monitor_model.h"

// INDICATOR_FILL, pure blue: the bars, the cell behind their text and pressed buttons.
inline constexpr COLORREF INDICATOR_BLUE =
    RGB(INDICATOR_FILL.red, INDICATOR_FILL.green, INDICATOR_FILL.blue);
inline constexpr COLORREF INDICATOR_WHITE =
    RGB(INDICATOR_TEXT.red, INDICATOR_TEXT.green, INDICATOR_TEXT.blue);

// Shows raw on the axis bar control id of dialog: a bar from the left, raw /
// axis_range of the control's inside width, and raw as "%d" in white at
// (2, 2) on an opaque blue cell, in the device context's own font. A missing
// control, or no device context, is skipped.
void draw_axis_bar(HWND dialog, int id, std::int32_t raw, float axis_range);

// Fills the button box control id of dialog blue when pressed is non-zero and
// leaves it empty otherwise. A missing control is skipped.
void draw_button_box(HWND dialog, int id, std::uint32_t pressed);
