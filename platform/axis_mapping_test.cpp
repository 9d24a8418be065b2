#include "platform/axis_mapping.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace platform {
namespace {

constexpr std::int32_t LOWEST = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t HIGHEST = std::numeric_limits<std::int32_t>::max();

AxisSetting setting(std::optional<AxisCalibration> calibration, int deadzone,
                    bool inverted = false) {
  AxisSetting s;
  s.calibration = calibration;
  s.deadzone_percent = deadzone;
  s.inverted = inverted;
  return s;
}

// Expected positions worked out with exact fractions, apart from the code.
TEST(AxisMapping, TheExactRule) {
  const AxisCalibration narrow{100, 500, 900};
  struct Row {
    std::int32_t value, device_min, device_max;
    AxisSetting setting;
    std::uint32_t position;
  } rows[] = {
      // Neither calibration nor dead zone: scale_axis, inverted around it.
      {512, 0, 1023, setting(std::nullopt, 0), 32800},
      {512, 0, 1023, setting(std::nullopt, 0, true), 32735},
      {-1, -32768, 32767, setting(std::nullopt, 0, true), 32767},
      // Calibrated, no dead zone: each edge, halves up, both halves' scales.
      {50, 0, 1023, setting(narrow, 0), 0},
      {100, 0, 1023, setting(narrow, 0), 0},
      {101, 0, 1023, setting(narrow, 0), 82},
      {300, 0, 1023, setting(narrow, 0), 16384},  // 16383.5
      {500, 0, 1023, setting(narrow, 0), 32767},
      {700, 0, 1023, setting(narrow, 0), 49151},
      {899, 0, 1023, setting(narrow, 0), 65453},
      {900, 0, 1023, setting(narrow, 0), 65535},
      // Dead zone 50: its edges 300 and 700 are inside it.
      {200, 0, 1023, setting(narrow, 50), 16384},
      {299, 0, 1023, setting(narrow, 50), 32603},
      {300, 0, 1023, setting(narrow, 50), 32767},
      {700, 0, 1023, setting(narrow, 50), 32767},
      {701, 0, 1023, setting(narrow, 50), 32931},
      // Dead zone around the default centre 511.5: edges 460.35 and 562.65.
      {460, 0, 1023, setting(std::nullopt, 10), 32742},
      {461, 0, 1023, setting(std::nullopt, 10), 32767},
      {562, 0, 1023, setting(std::nullopt, 10), 32767},
      {563, 0, 1023, setting(std::nullopt, 10), 32792},
      {0, 0, 1, setting(std::nullopt, 1), 0},
      {5, 5, 5, setting(std::nullopt, 10), 32767},  // no usable range
      // Inverted: mirrored, the centre stays.
      {300, 0, 1023, setting(narrow, 0, true), 49151},
      {500, 0, 1023, setting(narrow, 0, true), 32767},
      {50, 0, 1023, setting(narrow, 0, true), 65535},
      {701, 0, 1023, setting(narrow, 50, true), 32604},
      // Calibration wider and narrower than the device's limits.
      {0, 0, 1023, setting(AxisCalibration{-100, 511, 1200}, 0), 5363},
      {1023, 0, 1023, setting(AxisCalibration{-100, 511, 1200}, 0), 57117},
      {150, 0, 1023, setting(AxisCalibration{200, 512, 800}, 0), 0},
      {1000, 0, 1023, setting(AxisCalibration{200, 512, 800}, 0), 65535},
      // The whole 32-bit range stays exact.
      {-1610612736, LOWEST, HIGHEST, setting(std::nullopt, 50), 16384},
      {1610612736, LOWEST, HIGHEST, setting(std::nullopt, 50), 49151},
      {1610612736, LOWEST, HIGHEST, setting(AxisCalibration{LOWEST + 5, 3, HIGHEST}, 7, true),
       8809},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(mapped_position(row.value, row.device_min, row.device_max, row.setting), row.position)
        << row.value << " in " << row.device_min << ".." << row.device_max;
  }
}

TEST(AxisMapping, ParsesTheKeysAndSaysWhichLinesItIgnored) {
  std::vector<SettingProblem> problems;
  const AxisMapping mapping = parse_axis_mapping(
      "# mapping\n"
      "joystick = Pad\n"
      "x = abs_rx\n"
      "y = -ABS_RY\n"
      "y = ABS_NOPE\n"
      "rudder = axis 11\n"
      "thrust = ABS_GAS\n"
      "thrust =\n"
      "x.calibration = 100 500 900\n"
      "y.calibration = 100 500\n"
      "y.calibration = 500 100 900\n"
      "y.calibration = 1 2 3 4\n"
      "x.deadzone = 50\n"
      "y.deadzone = 51\n"
      "rudder.deadzone = -1\n"
      "rudder.deadzone = 12.5\n",
      AxisNaming::EVDEV, &problems);
  AxisMapping expected;
  expected[MappedAxis::X] = AxisSetting{3, false, AxisCalibration{100, 500, 900}, 50};
  expected[MappedAxis::Y] = AxisSetting{4, true, std::nullopt, 0};
  expected[MappedAxis::RUDDER] = AxisSetting{11, false, std::nullopt, 0};
  EXPECT_EQ(mapping, expected);
  std::vector<int> lines;
  for (const SettingProblem& problem : problems) lines.push_back(problem.line);
  EXPECT_EQ(lines, (std::vector<int>{5, 10, 11, 12, 14, 15, 16}));
  EXPECT_EQ(problems[5].why, "rudder.deadzone must be a whole number from 0 to 50");

  problems.clear();
  const AxisMapping multimedia =
      parse_axis_mapping("x = -u\ny = ABS_Y\n", AxisNaming::MULTIMEDIA, &problems);
  EXPECT_EQ(multimedia[MappedAxis::X], (AxisSetting{4, true, std::nullopt, 0}));
  EXPECT_EQ(multimedia[MappedAxis::Y], AxisSetting{});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 2);
}

TEST(AxisMapping, AxisNames) {
  EXPECT_EQ(axis_code_from_name(AxisNaming::EVDEV, "Abs_Throttle"), 6);
  EXPECT_EQ(axis_code_from_name(AxisNaming::EVDEV, "ABS_HAT0Y"), 0x11);
  EXPECT_EQ(axis_code_from_name(AxisNaming::EVDEV, "X"), std::nullopt);
  EXPECT_EQ(axis_code_from_name(AxisNaming::MULTIMEDIA, "r"), 3);
  EXPECT_EQ(axis_name(AxisNaming::EVDEV, 0x0a), "ABS_BRAKE");
  EXPECT_EQ(axis_name(AxisNaming::EVDEV, 0x0b), "axis 11");
  EXPECT_EQ(axis_name(AxisNaming::MULTIMEDIA, 5), "V");
}

TEST(AxisMapping, DeviceAxesThroughTheMapping) {
  constexpr int ABS_X = 0, ABS_Y = 1, ABS_Z = 2, ABS_RX = 3, ABS_RZ = 5, ABS_GAS = 9;
  const std::vector<DeviceAxis> gamepad{{ABS_X, 0, 255, 0, 0, 0},
                                        {ABS_Y, 0, 255, 0, 0, 255},
                                        {ABS_Z, 0, 255, 0, 0, 17},
                                        {ABS_RX, -32768, 32767, 16, 0, 0},
                                        {ABS_RZ, 0, 255, 0, 0, 128}};
  // Defaults: no throttle or rudder, so Z and RZ.
  MappedReading reading = map_device_axes(gamepad, AxisMapping{}, AxisNaming::EVDEV);
  EXPECT_EQ(reading.positions, (std::array<std::uint32_t, 4>{0, 65535, 32896, 4369}));
  EXPECT_EQ(reading.axes[2], (MappedAxisStatus{ABS_RZ, true}));
  EXPECT_EQ(reading.axes[3], (MappedAxisStatus{ABS_Z, true}));

  AxisMapping mapping;
  mapping[MappedAxis::X].code = ABS_RX;
  mapping[MappedAxis::THRUST].code = ABS_GAS;  // the device has none
  reading = map_device_axes(gamepad, mapping, AxisNaming::EVDEV);
  EXPECT_EQ(reading.positions[0], 32768u);
  EXPECT_EQ(reading.positions[3], 32767u);
  EXPECT_EQ(reading.axes[3], (MappedAxisStatus{ABS_GAS, false}));

  const std::vector<DeviceAxis> pedal{{ABS_GAS, 0, 1023, 0, 0, 1023}};
  reading = map_device_axes(pedal, AxisMapping{}, AxisNaming::EVDEV);
  EXPECT_EQ(reading.axes[0], (MappedAxisStatus{-1, false}));
  EXPECT_EQ(reading.positions[0], 32767u);
  EXPECT_EQ(default_axis_code(AxisNaming::MULTIMEDIA, MappedAxis::RUDDER,
                              {{0, 0, 65535, 0, 0, 0}, {3, 0, 65535, 0, 0, 0}}),
            3);
}

}  // namespace
}  // namespace platform
