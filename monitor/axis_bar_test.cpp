#include "monitor/axis_bar.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

TEST(AxisBarWidth, IsSignedRawOverRangeTimesWidthTruncated) {
  struct Row {
    std::int32_t raw;
    float range;
    int client_width;
    int expected;
  };
  const Row rows[] = {
      {0, 65535.0f, 180, 0},
      {32767, 65535.0f, 180, 89},    // 89.997...: truncated, not rounded
      {65535, 65535.0f, 180, 180},   // the whole width
      {131070, 65535.0f, 180, 360},  // above the range: not clamped
      {-100, 1000.0f, 180, -18},     // signed: toward zero
      {-1, 1000.0f, 180, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(axis_bar_width(row.raw, row.range, row.client_width), row.expected)
        << "raw " << row.raw << " range " << row.range;
  }
}

TEST(AxisBarWidth, NonFiniteOrHugeResultsStayDefined) {
  EXPECT_EQ(axis_bar_width(5, 0.0f, 180), 0);  // an axis range of 0: no bar
  EXPECT_EQ(axis_bar_width(0, 0.0f, 180), 0);  // 0 / 0
  EXPECT_EQ(axis_bar_width(INT32_MAX, 1e-30f, 180), INT_MAX);
  EXPECT_EQ(axis_bar_width(INT32_MIN, 1e-30f, 180), -INT_MAX);
}

}  // namespace
