#pragma once

#include <cstdint>

// What the monitor window shows for an axis, the same on every platform.

// The bar's width in pixels: raw / axis_range * client_width, in double
// precision, truncated toward zero. Not clamped to the control (the control
// clips it): a raw value above the range gives a width above client_width, a
// negative one a negative width. 0 when the result is not finite (a range of
// 0); held within the range of int.
int axis_bar_width(std::int32_t raw, float axis_range, int client_width);
