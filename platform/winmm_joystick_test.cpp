#include "platform/winmm_joystick.h"

#include <gtest/gtest.h>

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
