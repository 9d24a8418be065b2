#include "monitor/calibration_model.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace {

using platform::AxisMapping;
using platform::DeviceAxis;
using platform::MappedAxis;

DeviceAxis axis(int code, std::int32_t value) { return {code, -1000, 1000, 0, 0, value}; }

// A sweep sees X and Y go to both sides; what rudder (ABS_RZ) does varies.
TEST(CalibrationModel, DoneTakesWhatTheSweepSawOrSaysWhyNot) {
  struct Row {
    const char* what;
    std::vector<std::int32_t> rudder_seen;  // ABS_RZ's values during the sweep
    std::int32_t rudder_rest;
    const char* refusal;  // empty: calibrated
  } rows[] = {
      {"moved both ways", {-900, 950}, 10, ""},
      {"not moved", {}, 0, "Rudder (ABS_RZ) was not moved"},
      {"rests at its limit",
       {-900, 950},
       950,
       "Rudder (ABS_RZ) rests at 950, not between -900 and 950"},
  };
  for (const Row& row : rows) {
    AxisSweep sweep;
    sweep.see({axis(ABS_X, 0), axis(ABS_Y, 0), axis(ABS_RZ, 0)});
    sweep.see({axis(ABS_X, -800), axis(ABS_Y, 700), axis(ABS_RZ, 0)});
    sweep.see({axis(ABS_X, 800), axis(ABS_Y, -700), axis(ABS_RZ, 0)});
    for (std::int32_t value : row.rudder_seen) sweep.see({axis(ABS_RZ, value)});
    const std::vector<DeviceAxis> now{axis(ABS_X, 5), axis(ABS_Y, -3),
                                      axis(ABS_RZ, row.rudder_rest)};
    AxisMapping mapping;
    mapping[MappedAxis::RUDDER].code = ABS_RZ;
    const SweepResult result = finish_sweep(sweep, now, mapping, platform::AxisNaming::EVDEV);
    if (row.refusal[0] != '\0') {
      EXPECT_FALSE(result.mapping) << row.what;
      EXPECT_EQ(result.refusal.rfind(row.refusal, 0), 0u) << row.what << ": " << result.refusal;
      continue;
    }
    ASSERT_TRUE(result.mapping) << row.what << ": " << result.refusal;
    const AxisMapping& done = *result.mapping;
    EXPECT_EQ(done[MappedAxis::X].calibration, (platform::AxisCalibration{-800, 5, 800}));
    EXPECT_EQ(done[MappedAxis::Y].calibration, (platform::AxisCalibration{-700, -3, 700}));
    EXPECT_EQ(done[MappedAxis::RUDDER].calibration, (platform::AxisCalibration{-900, 10, 950}));
    // Thrust's axis is not on the device: nothing to calibrate, no refusal.
    EXPECT_FALSE(done[MappedAxis::THRUST].calibration);
  }
}

TEST(CalibrationModel, TheSettingsLinesOfAMapping) {
  AxisMapping mapping;
  mapping[MappedAxis::X] = {ABS_RX, true, platform::AxisCalibration{-5, 1, 7}, 10};
  mapping[MappedAxis::Y].inverted = true;  // the default axis, turned: it must be named
  const std::vector<DeviceAxis> axes{axis(ABS_X, 0), axis(ABS_Y, 0), axis(ABS_RX, 0)};
  const auto changes = mapping_changes(mapping, platform::AxisNaming::EVDEV, axes);
  std::vector<std::pair<std::string, std::optional<std::string>>> lines;
  for (const auto& change : changes) lines.emplace_back(change.key, change.value);
  const decltype(lines) expected{
      {"x", "-ABS_RX"}, {"x.calibration", "-5 1 7"}, {"x.deadzone", "10"},
      {"y", "-ABS_Y"},  {"y.calibration", {}},       {"y.deadzone", {}},
      {"rudder", {}},   {"rudder.calibration", {}},  {"rudder.deadzone", {}},
      {"thrust", {}},   {"thrust.calibration", {}},  {"thrust.deadzone", {}},
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
