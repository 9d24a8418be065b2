#include "platform/input_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fake_input_tree.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(ScanInputDevices, EveryEventNodeByNumberWithNameAndCapabilities) {
  FakeInputTree input;
  input.add(10, "Gamepad Ten", GAMEPAD);
  input.add(2, "Touchpad", TOUCHPAD);
  input.add(0, "AT Translated Set 2 keyboard", KEYBOARD);
  // Not event devices: the old joystick interface, a mouse, links folders, odd names.
  for (const char* other : {"js0", "mouse0", "event", "event1x", "eventx"}) {
    std::ofstream(input.tree().dev_dir + "/" + other).put('\n');
  }
  fs::create_directories(input.tree().dev_dir + "/by-id");

  std::vector<InputDevice> devices = scan_input_devices(input.tree());
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].number, 0);
  EXPECT_EQ(devices[1].number, 2);
  EXPECT_EQ(devices[2].number, 10);
  EXPECT_EQ(devices[2].path, input.node(10));
  EXPECT_EQ(devices[2].name, "Gamepad Ten");
  EXPECT_TRUE(devices[2].readable());
  ASSERT_TRUE(devices[2].capabilities_known);
  // BTN_SOUTH (0x130) and BTN_THUMBR (0x13e) from the top of the word.
  EXPECT_TRUE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_SOUTH));
  EXPECT_TRUE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_THUMBR));
  EXPECT_FALSE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_SOUTH - 1));

  EXPECT_STREQ(why_not_joystick(devices[0]), "no absolute axes");
  EXPECT_STREQ(why_not_joystick(devices[1]), "no joystick or gamepad buttons");
  EXPECT_EQ(why_not_joystick(devices[2]), nullptr);
}

TEST(ScanInputDevices, NoDeviceFolderMeansNoDevices) {
  EXPECT_TRUE(scan_input_devices({"/nonexistent/dev/input", "/nonexistent/sys"}).empty());
  FakeInputTree empty;
  EXPECT_TRUE(scan_input_devices(empty.tree()).empty());
}

TEST(ScanInputDevices, WithoutSysfsAnUnansweringNodeHasUnknownCapabilities) {
  FakeInputTree input;
  std::ofstream(input.node(4)).put('\n');
  std::vector<InputDevice> devices = scan_input_devices(input.tree());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_FALSE(devices[0].capabilities_known);
  EXPECT_EQ(devices[0].name, "");
  EXPECT_STREQ(why_not_joystick(devices[0]), "its capabilities cannot be read");
}

}  // namespace
}  // namespace platform
