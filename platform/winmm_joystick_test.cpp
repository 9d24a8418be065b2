#include "platform/winmm_joystick.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/joystick_device.h"

namespace {

TEST(WinmmJoystick, DriverCapabilitiesAreTakenAsTheyCame) {
  platform::JoystickCapabilities caps{};
  EXPECT_EQ(platform::capabilities_from_device(true, 100, 1100, 15, &caps), 0);
  EXPECT_EQ(caps.x_min, 100u);
  EXPECT_EQ(caps.x_max, 1100u);
  EXPECT_EQ(caps.min_period_ms, 15u);
}

TEST(WinmmJoystick, FailedQueryGivesTheLinuxScaleNotWhatTheRecordHeld) {
  platform::JoystickCapabilities caps{7, 7, 0};
  EXPECT_EQ(platform::capabilities_from_device(false, 12345, 3, 999, &caps), -1);
  EXPECT_EQ(caps.x_min, 0u);
  EXPECT_EQ(caps.x_max, 65535u);
  EXPECT_EQ(caps.min_period_ms, 10u);
}

TEST(WinmmJoystick, JoystickNumbersOneToSixteenAreIdsZeroToFifteen) {
  const struct {
    const char* value;
    std::optional<unsigned> id;
  } rows[] = {{"1", 0u},
              {" 16\r", 15u},
              {"3", 2u},
              {"0", std::nullopt},
              {"17", std::nullopt},
              {"", std::nullopt},
              {"-1", std::nullopt},
              {"+2", std::nullopt},
              {"2x", std::nullopt},
              {"Logitech", std::nullopt},
              {"99999999999999999999", std::nullopt}};
  for (const auto& row : rows)
    EXPECT_EQ(platform::multimedia_joystick_id(row.value), row.id) << row.value;
}

// A stick with X and Y in 0..1023, a throttle Z in 0..255, a U axis in the
// usual 0..65535, no R and no V.
const platform::MultimediaJoystickCaps STICK{
    "Stick", 4, {{'X', 0, 1023}, {'Y', 0, 1023}, {'Z', 0, 255}, {'U', 0, 65535}}, 10};
const platform::MultimediaPosition STICK_AT{{512, 100, 200, 7, 1000, 0}, 0x5};

TEST(WinmmJoystick, DeviceAxesAreTheCapsAxesWithTheirCodesAndValues) {
  using platform::DeviceAxis;
  EXPECT_EQ(platform::multimedia_device_axes(STICK, STICK_AT),
            (std::vector<DeviceAxis>{{0, 0, 1023, 0, 0, 512},
                                     {1, 0, 1023, 0, 0, 100},
                                     {2, 0, 255, 0, 0, 200},
                                     {4, 0, 65535, 0, 0, 1000}}));
  // A driver's value beyond int32_t is held at its end, never turned negative.
  const platform::MultimediaJoystickCaps wide{"Wide", 2, {{'X', 0, 0xFFFFFFFFu}}, 10};
  EXPECT_EQ(platform::multimedia_device_axes(wide, {{0x80000000u}, 0}),
            (std::vector<DeviceAxis>{{0, 0, 0x7FFFFFFF, 0, 0, 0x7FFFFFFF}}));
}

TEST(WinmmJoystick, MappedChannelsServePositionsTheOthersRawValues) {
  using platform::MappedAxis;
  platform::AxisMapping mapping;
  mapping[MappedAxis::Y] = {4, true, std::nullopt, 0};        // -U
  mapping[MappedAxis::RUDDER] = {5, false, std::nullopt, 0};  // V: the stick has none
  mapping[MappedAxis::THRUST] = {std::nullopt, false, platform::AxisCalibration{0, 100, 255}, 0};
  const platform::MultimediaReading reading =
      platform::multimedia_reading(STICK, STICK_AT, mapping);
  EXPECT_EQ(reading.state.x, 512u);             // unmapped: raw
  EXPECT_EQ(reading.state.y, 65535u - 1000u);   // U scaled 1:1, inverted
  EXPECT_EQ(reading.state.r, 32767u);           // a missing axis reads centred
  EXPECT_EQ(reading.state.z, 32767u + 21141u);  // 32767 + round(100 * 32768 / 155)
  EXPECT_EQ(reading.state.positions, 0b1110u);
  using Status = platform::MappedAxisStatus;
  EXPECT_EQ(reading.axes, (std::array<Status, 4>{Status{0, true}, Status{4, true}, Status{5, false},
                                                 Status{2, true}}));

  // Without settings every channel is the driver's raw value, as it always
  // was: R too, though the stick has none.
  const platform::JoystickState raw =
      platform::multimedia_reading(STICK, STICK_AT, platform::AxisMapping{}).state;
  EXPECT_EQ(std::vector<std::uint32_t>({raw.x, raw.y, raw.z, raw.r, raw.buttons, raw.positions}),
            std::vector<std::uint32_t>({512, 100, 200, 7, 0x5, 0}));
}

#ifdef _WIN32
// The real calls. The test machine (Wine in a container) has no joystick, so
// joystick 0 is absent: the query fails and must give the no-device scale, and
// a reading is centred with no button, however the caller's records started.
TEST(WinmmJoystick, AbsentJoystickGivesTheNoDeviceScaleAndACentredReading) {
  platform::JoystickCapabilities caps{0xDEADBEEF, 3, 0};
  EXPECT_EQ(platform::joystick_device().get_capabilities(&caps), -1);
  EXPECT_EQ(caps.x_min, 0u);
  EXPECT_EQ(caps.x_max, 65535u);
  EXPECT_EQ(caps.min_period_ms, 10u);

  auto reader = platform::joystick_device().open_reader();
  platform::JoystickState state{1, 1, 1, 1, 0xFF};
  EXPECT_EQ(reader->read(&state), -1);
  EXPECT_EQ(state.x, platform::AXIS_CENTRED);
  EXPECT_EQ(state.y, platform::AXIS_CENTRED);
  EXPECT_EQ(state.z, platform::AXIS_CENTRED);
  EXPECT_EQ(state.r, platform::AXIS_CENTRED);
  EXPECT_EQ(state.buttons, 0u);
}
#endif

}  // namespace
