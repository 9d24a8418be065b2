#include "platform/winmm_joystick.h"

#include <gtest/gtest.h>

#include "platform/joystick.h"

namespace {

TEST(WinmmJoystick, DriverCapabilitiesAreTakenAsTheyCame) {
  platform::JoyCaps caps{};
  EXPECT_EQ(platform::caps_from_device(true, 100, 1100, 15, &caps), 0);
  EXPECT_EQ(caps.wXmin, 100u);
  EXPECT_EQ(caps.wXmax, 1100u);
  EXPECT_EQ(caps.wPeriodMin, 15u);
}

TEST(WinmmJoystick, FailedQueryGivesTheLinuxScaleNotWhatTheRecordHeld) {
  platform::JoyCaps caps{7, 7, 0};
  EXPECT_EQ(platform::caps_from_device(false, 12345, 3, 999, &caps), -1);
  EXPECT_EQ(caps.wXmin, 0u);
  EXPECT_EQ(caps.wXmax, 65535u);
  EXPECT_EQ(caps.wPeriodMin, 10u);
}

#ifdef _WIN32
// The real calls. The test machine (Wine in a container) has no joystick, so
// joystick 0 is absent: the query fails and must give the no-device scale, and
// a reading is centred with no button, however the caller's records started.
TEST(WinmmJoystick, AbsentJoystickGivesTheNoDeviceScaleAndACentredReading) {
  platform::JoyCaps caps{0xDEADBEEF, 3, 0};
  EXPECT_EQ(platform::joysticks().get_caps(&caps), -1);
  EXPECT_EQ(caps.wXmin, 0u);
  EXPECT_EQ(caps.wXmax, 65535u);
  EXPECT_EQ(caps.wPeriodMin, 10u);

  auto reader = platform::joysticks().open_reader();
  platform::JoyInfoEx info{};
  info.dwXpos = info.dwYpos = info.dwZpos = info.dwRpos = 1;
  info.dwButtons = 0xFF;
  EXPECT_EQ(reader->get_pos(&info), -1);
  EXPECT_EQ(info.dwXpos, platform::JOY_AXIS_CENTRED);
  EXPECT_EQ(info.dwRpos, platform::JOY_AXIS_CENTRED);
  EXPECT_EQ(info.dwButtons, 0u);
}
#endif

}  // namespace
