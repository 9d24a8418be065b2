#include "monitor/axis_bar.h"

#include <cmath>
#include <limits>

int axis_bar_width(std::int32_t raw, float axis_range, int client_width) {
  double width = static_cast<double>(raw) / axis_range * client_width;
  if (!std::isfinite(width)) return 0;
  // Beyond int the control shows the same as at its edge; converting such a
  // value unchecked would be undefined.
  constexpr double LIMIT = std::numeric_limits<int>::max();
  if (width > LIMIT) return std::numeric_limits<int>::max();
  if (width < -LIMIT) return -std::numeric_limits<int>::max();
  return static_cast<int>(width);
}
