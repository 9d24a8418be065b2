#include "platform/settings_file.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(SettingsFile, TheLastLineOfAKey) {
  EXPECT_EQ(setting_value("joystick = Logitech Extreme\n", "joystick"), "Logitech Extreme");
  EXPECT_EQ(setting_value("# a comment\n\n  joystick=/dev/input/event5  \r\n", "joystick"),
            "/dev/input/event5");
  EXPECT_EQ(setting_value("colour = blue\njoystick = a\njoystick = b", "joystick"), "b");
  EXPECT_EQ(setting_value("# joystick = commented out\njoysticks = x\n", "joystick"), std::nullopt);
  EXPECT_EQ(setting_value("", "joystick"), std::nullopt);
  EXPECT_EQ(setting_value("joystick =", "joystick"), "");
}

TEST(SettingsFile, UnderTheConfigFolder) {
  EXPECT_EQ(settings_file_path("/cfg", "/home/u"), "/cfg/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path(nullptr, "/home/u"), "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("relative", "/home/u"),
            "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("", nullptr), "");
}

}  // namespace
}  // namespace platform
