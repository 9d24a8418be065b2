#include "tools/probe_devices.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <cerrno>

namespace probe {
namespace {

platform::InputDevice input_device(int number, const std::string& name, bool joystick,
                                   int open_error = 0) {
  platform::InputDevice device;
  device.number = number;
  device.path = "/dev/input/event" + std::to_string(number);
  device.name = name;
  device.open_error = open_error;
  device.capabilities_known = true;
  device.group = "input";
  device.group_may_read = true;
  auto set = [](std::uint8_t* bits, unsigned code) {
    bits[code / 8] |= std::uint8_t(1u << (code % 8));
  };
  set(device.capabilities.events, EV_KEY);
  set(device.capabilities.keys, joystick ? BTN_TRIGGER : KEY_A);
  if (joystick) {
    set(device.capabilities.events, EV_ABS);
    set(device.capabilities.axes, ABS_X);
    set(device.capabilities.axes, ABS_Y);
  }
  return device;
}

TEST(FormatDevices, EveryDeviceAndJoystickZero) {
  std::vector<platform::InputDevice> devices = {input_device(0, "AT keyboard", false),
                                                input_device(3, "Flight\x1b Stick", true),
                                                input_device(12, "Pad", true, EACCES)};
  platform::JoystickZero zero = platform::resolve_joystick_zero(devices, {});
  EXPECT_EQ(format_devices(devices, zero, {}),
            "NODE                ACCESS             JOYSTICK              NAME\n"
            "/dev/input/event0   readable           no: no absolute axes  \"AT keyboard\"\n"
            "/dev/input/event3   readable           yes, joystick 0       \"Flight\\x1b Stick\"\n"
            "/dev/input/event12  Permission denied  yes                   \"Pad\"\n"
            "\n"
            "Joystick 0: /dev/input/event3 \"Flight\\x1b Stick\"\n"
            "A joystick has absolute X and Y axes and a joystick or gamepad button;\n"
            "joystick 0 is the lowest-numbered one we may read, unless ORVANDELCASTER_JOYSTICK\n"
            "or the settings file chooses another.\n");
}

TEST(FormatDevices, WhyThereIsNoJoystickZero) {
  std::vector<platform::InputDevice> locked = {input_device(5, "Pad", true, EACCES)};
  std::string text = format_devices(locked, platform::resolve_joystick_zero(locked, {}), {});
  EXPECT_NE(text.find("/dev/input/event5  Permission denied  yes, joystick 0  \"Pad\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nJoystick 0: No permission\n  No permission to read /dev/input/event5 "
                      "\u2014 add yourself to the input group\n"),
            std::string::npos)
      << text;

  platform::JoystickChoice gone = platform::choice_from_value("Warthog", "/home/u/settings.conf");
  text = format_devices({}, platform::resolve_joystick_zero({}, gone), gone);
  EXPECT_EQ(
      text.rfind("No input devices in /dev/input.\n\nJoystick 0: Joystick not found\n"
                 "  No joystick's name contains \"Warthog\", chosen in /home/u/settings.conf\n",
                 0),
      0u)
      << text;
}

}  // namespace
}  // namespace probe
