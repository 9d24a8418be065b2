#include "platform/joystick_resolution.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/fake_input_tree.h"
#include "platform/settings_file.h"

namespace platform {
namespace {

using State = JoystickZero::State;

// Devices as the scan reports them, for the rules alone.
InputDevice device(int number, const char* name, SysfsCapabilities caps, int open_error = 0) {
  FakeInputTree input;
  input.add(number, name, caps);
  InputDevice found = scan_input_devices(input.tree()).at(0);
  found.path = "/dev/input/event" + std::to_string(number);
  found.open_error = open_error;
  found.group = "input";
  found.group_may_read = true;
  return found;
}

class ResolveJoystickZero : public testing::Test {
 protected:
  InputDevice keyboard = device(0, "Logitech Keyboard K120", KEYBOARD);
  InputDevice stick = device(3, "Logitech Extreme 3D pro", FLIGHT_STICK);
  InputDevice pad = device(5, "Xbox Wireless Controller", GAMEPAD);
  InputDevice locked_pad = device(5, "Xbox Wireless Controller", GAMEPAD, EACCES);
  JoystickChoice by_name(const char* part) { return choice_from_value(part, JOYSTICK_VARIABLE); }
  JoystickChoice by_path(const char* path) { return choice_from_value(path, "settings.conf"); }
};

TEST_F(ResolveJoystickZero, DefaultIsTheLowestJoystick) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, {});
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 3);
  EXPECT_EQ(resolve_joystick_zero({}, {}).state, State::NO_JOYSTICK);
  EXPECT_EQ(resolve_joystick_zero({keyboard}, {}).state, State::NO_JOYSTICK);
}

TEST_F(ResolveJoystickZero, ChosenByNameIgnoringCaseAmongJoysticksOnly) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, by_name("xBoX"));
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 5);
  // The keyboard's name matches too, but it is no joystick.
  EXPECT_EQ(resolve_joystick_zero({keyboard, stick, pad}, by_name("logitech")).device.number, 3);
  EXPECT_EQ(resolve_joystick_zero({keyboard, stick, pad}, by_name("K120")).state, State::NOT_FOUND);
}

TEST_F(ResolveJoystickZero, ChosenByPath) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, by_path("/dev/input/event5"));
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 5);
  zero = resolve_joystick_zero({keyboard, stick, pad}, by_path("/dev/input/event0"));
  EXPECT_EQ(zero.state, State::NOT_A_JOYSTICK);
  EXPECT_EQ(joystick_status(zero, by_path("/dev/input/event0")).why_not, "no absolute axes");
}

TEST_F(ResolveJoystickZero, ChosenButAbsentIsNeverAnotherDevice) {
  JoystickChoice gone = by_path("/dev/input/event9");
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, gone);
  EXPECT_EQ(zero.state, State::NOT_FOUND);
  EXPECT_EQ(resolve_joystick_zero({stick, pad}, by_name("Warthog")).state, State::NOT_FOUND);
  // A value too long to be a choice is still the user's choice: none stands in.
  const std::string too_long(SETTING_VALUE_MAX_BYTES + 1, 'x');
  EXPECT_EQ(resolve_joystick_zero({stick, pad}, by_name(too_long.c_str())).state, State::NOT_FOUND);
}

TEST_F(ResolveJoystickZero, UnreadableJoystickGivesThePermissionState) {
  JoystickZero zero = resolve_joystick_zero({keyboard, locked_pad}, {});
  EXPECT_EQ(zero.state, State::UNREADABLE);
  EXPECT_EQ(zero.device.number, 5);
  // Chosen by name or path, the same.
  EXPECT_EQ(resolve_joystick_zero({stick, locked_pad}, by_name("xbox")).state, State::UNREADABLE);
  EXPECT_EQ(resolve_joystick_zero({stick, locked_pad}, by_path("/dev/input/event5")).state,
            State::UNREADABLE);
}

// A device chosen by the user need only have the axes its mapping uses; the
// default choice and a name that a joystick matches keep to joysticks.
TEST_F(ResolveJoystickZero, ChosenPedalsNeedOnlyTheMappedAxes) {
  // ABS_RUDDER, ABS_GAS, ABS_BRAKE; no buttons.
  const InputDevice pedals = device(7, "Logitech Pedals", {"9", "680", "0"});
  const InputDevice touchpad = device(1, "Logitech Touchpad", TOUCHPAD);
  AxisMapping gas;
  gas[MappedAxis::THRUST].code = 9;  // ABS_GAS
  AxisMapping right_stick;
  right_stick[MappedAxis::X].code = 3;  // ABS_RX

  EXPECT_EQ(resolve_joystick_zero({pedals}, by_name("pedals")).device.number, 7);  // rudder
  EXPECT_EQ(resolve_joystick_zero({pedals}, by_name("pedals"), gas).state, State::READY);
  EXPECT_EQ(resolve_joystick_zero({pedals}, {}, gas).state, State::NO_JOYSTICK);
  EXPECT_EQ(resolve_joystick_zero({pedals}, by_name("pedals"), right_stick).state,
            State::NOT_FOUND);
  const JoystickZero zero =
      resolve_joystick_zero({pedals}, by_path("/dev/input/event7"), right_stick);
  EXPECT_EQ(zero.state, State::NOT_A_JOYSTICK);
  EXPECT_EQ(joystick_status(zero, by_path("/dev/input/event7")).why_not,
            "no ABS_RX axis, which x is mapped to");
  // A joystick matching the name comes before the lower-numbered touchpad and pedals.
  EXPECT_EQ(resolve_joystick_zero({touchpad, stick, pedals}, by_name("logitech")).device.number, 3);
  EXPECT_EQ(resolve_joystick_zero({touchpad, pedals}, by_name("logitech"), gas).device.number, 7);
}

}  // namespace
}  // namespace platform
