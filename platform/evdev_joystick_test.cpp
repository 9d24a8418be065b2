#include "platform/evdev_joystick.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

#include "platform/joystick_device.h"

namespace platform {
namespace {

void set_bit(std::uint8_t* bits, unsigned code) {
  bits[code / 8] |= std::uint8_t(1u << (code % 8));
}

// Capability sets as real devices report them.
struct Device {
  EvdevCapabilities caps{};

  Device& events(std::initializer_list<unsigned> codes) {
    for (unsigned code : codes) set_bit(caps.events, code);
    return *this;
  }
  Device& axes(std::initializer_list<unsigned> codes) {
    set_bit(caps.events, EV_ABS);
    for (unsigned code : codes) set_bit(caps.axes, code);
    return *this;
  }
  Device& keys(std::initializer_list<unsigned> codes) {
    set_bit(caps.events, EV_KEY);
    for (unsigned code : codes) set_bit(caps.keys, code);
    return *this;
  }
  Device& key_range(unsigned first, unsigned last) {
    set_bit(caps.events, EV_KEY);
    for (unsigned code = first; code <= last; ++code) set_bit(caps.keys, code);
    return *this;
  }
};

Device flight_stick() {
  return Device{}
      .events({EV_SYN, EV_MSC})
      .axes({ABS_X, ABS_Y, ABS_THROTTLE, ABS_RUDDER, ABS_HAT0X, ABS_HAT0Y})
      .key_range(BTN_TRIGGER, BTN_BASE6);
}

// A pad whose analogue triggers are ABS_Z and ABS_RZ, with face buttons from BTN_SOUTH.
Device gamepad() {
  return Device{}
      .axes({ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_HAT0X, ABS_HAT0Y})
      .keys({BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT, BTN_START,
             BTN_MODE, BTN_THUMBL, BTN_THUMBR});
}

Device touchpad() {
  return Device{}
      .axes({ABS_X, ABS_Y, ABS_PRESSURE, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y,
             ABS_MT_TRACKING_ID})
      .keys({BTN_LEFT, BTN_TOOL_FINGER, BTN_TOOL_QUINTTAP, BTN_TOUCH, BTN_TOOL_DOUBLETAP,
             BTN_TOOL_TRIPLETAP, BTN_TOOL_QUADTAP});
}

Device keyboard() {
  return Device{}.events({EV_SYN, EV_MSC, EV_LED, EV_REP}).key_range(KEY_ESC, KEY_MICMUTE);
}

std::vector<unsigned> codes_of(const ButtonOrder& order) {
  return std::vector<unsigned>(order.codes, order.codes + order.count);
}

TEST(IsJoystick, FlightSticksAndGamepadsAre) {
  EXPECT_TRUE(is_joystick(flight_stick().caps));
  EXPECT_TRUE(is_joystick(gamepad().caps));
  // Each end of the joystick button block is enough on its own.
  EXPECT_TRUE(is_joystick(Device{}.axes({ABS_X, ABS_Y}).keys({BTN_JOYSTICK}).caps));
  EXPECT_TRUE(is_joystick(Device{}.axes({ABS_X, ABS_Y}).keys({0x13f}).caps));
}

TEST(IsJoystick, TouchpadsKeyboardsAndIncompleteDevicesAreNot) {
  EXPECT_FALSE(is_joystick(touchpad().caps));
  EXPECT_FALSE(is_joystick(keyboard().caps));
  // A tablet pen and a mouse: buttons on either side of the joystick block.
  EXPECT_FALSE(is_joystick(Device{}.axes({ABS_X, ABS_Y}).keys({BTN_TOOL_PEN, BTN_STYLUS}).caps));
  EXPECT_FALSE(is_joystick(Device{}.axes({ABS_X, ABS_Y}).keys({BTN_LEFT, 0x11f}).caps));
  // Joystick buttons without both of X and Y.
  EXPECT_FALSE(is_joystick(Device{}.axes({ABS_X, ABS_Z}).keys({BTN_TRIGGER}).caps));
  EXPECT_FALSE(is_joystick(Device{}.axes({ABS_Y, ABS_RX}).keys({BTN_TRIGGER}).caps));
  // Axis bits without absolute events reported are not trusted.
  Device no_abs_events = flight_stick();
  no_abs_events.caps.events[EV_ABS / 8] = 0;
  EXPECT_FALSE(is_joystick(no_abs_events.caps));
}

// The names are written out for systems without <linux/input.h>.
TEST(DefaultAxes, NamesHaveTheKernelsCodes) {
  const std::pair<const char*, int> names[] = {{"ABS_X", ABS_X},
                                               {"ABS_RZ", ABS_RZ},
                                               {"ABS_THROTTLE", ABS_THROTTLE},
                                               {"ABS_RUDDER", ABS_RUDDER},
                                               {"ABS_WHEEL", ABS_WHEEL},
                                               {"ABS_GAS", ABS_GAS},
                                               {"ABS_BRAKE", ABS_BRAKE},
                                               {"ABS_HAT0X", ABS_HAT0X},
                                               {"ABS_HAT3Y", ABS_HAT3Y},
                                               {"ABS_PRESSURE", ABS_PRESSURE},
                                               {"ABS_TOOL_WIDTH", ABS_TOOL_WIDTH},
                                               {"ABS_VOLUME", ABS_VOLUME},
                                               {"ABS_MISC", ABS_MISC}};
  for (const auto& [name, code] : names)
    EXPECT_EQ(axis_code_from_name(AxisNaming::EVDEV, name), code);
}

// The default mapping over the axes the capability bits give.
int default_axis(const EvdevCapabilities& caps, MappedAxis axis) {
  return default_axis_code(AxisNaming::EVDEV, axis, absolute_axes(caps));
}

TEST(DefaultAxes, ThrottleAndRudderBeforeZAndRz) {
  const EvdevCapabilities stick = flight_stick().caps;
  EXPECT_EQ(default_axis(stick, MappedAxis::X), ABS_X);
  EXPECT_EQ(default_axis(stick, MappedAxis::Y), ABS_Y);
  EXPECT_EQ(default_axis(stick, MappedAxis::THRUST), ABS_THROTTLE);
  EXPECT_EQ(default_axis(stick, MappedAxis::RUDDER), ABS_RUDDER);

  EXPECT_EQ(default_axis(gamepad().caps, MappedAxis::THRUST), ABS_Z);
  EXPECT_EQ(default_axis(gamepad().caps, MappedAxis::RUDDER), ABS_RZ);

  const EvdevCapabilities both =
      Device{}.axes({ABS_X, ABS_Y, ABS_Z, ABS_RZ, ABS_THROTTLE, ABS_RUDDER}).caps;
  EXPECT_EQ(default_axis(both, MappedAxis::THRUST), ABS_THROTTLE);
  EXPECT_EQ(default_axis(both, MappedAxis::RUDDER), ABS_RUDDER);
}

TEST(DefaultAxes, MissingAxesAreMarked) {
  const EvdevCapabilities two =
      Device{}.axes({ABS_X, ABS_Y, ABS_RX, ABS_RY}).keys({BTN_TRIGGER}).caps;
  EXPECT_EQ(default_axis(two, MappedAxis::THRUST), -1);
  EXPECT_EQ(default_axis(two, MappedAxis::RUDDER), -1);
  EXPECT_TRUE(absolute_axes(keyboard().caps).empty());
  EXPECT_EQ(default_axis(keyboard().caps, MappedAxis::X), -1);
}

TEST(OrderButtons, JoystickBlockAndAboveComeBeforeMiscButtons) {
  EXPECT_EQ(codes_of(order_buttons(gamepad().caps)),
            (std::vector<unsigned>{BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR,
                                   BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR}));
  // Keyboard keys below BTN_MISC are never buttons; codes above 0x13f up to
  // KEY_MAX are, after the joystick block and before BTN_MISC..0x11f.
  Device mixed = Device{}
                     .axes({ABS_X, ABS_Y})
                     .keys({KEY_A, BTN_0, BTN_LEFT, 0x11f, BTN_TRIGGER, BTN_DEAD, BTN_DIGI,
                            BTN_DPAD_UP, BTN_TRIGGER_HAPPY1, KEY_MAX});
  EXPECT_EQ(codes_of(order_buttons(mixed.caps)),
            (std::vector<unsigned>{BTN_TRIGGER, BTN_DEAD, BTN_DIGI, BTN_DPAD_UP, BTN_TRIGGER_HAPPY1,
                                   KEY_MAX, BTN_0, BTN_LEFT, 0x11f}));
  EXPECT_EQ(order_buttons(keyboard().caps).count, 0);
}

TEST(OrderButtons, OnlyTheFirst32Count) {
  // 32 in the joystick block, 8 more above it, 10 misc buttons: the block alone fills the order.
  Device many = Device{}
                    .axes({ABS_X, ABS_Y})
                    .key_range(BTN_JOYSTICK, 0x13f)
                    .key_range(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY8)
                    .key_range(BTN_0, BTN_9);
  ButtonOrder order = order_buttons(many.caps);
  ASSERT_EQ(order.count, MAX_BUTTONS);
  EXPECT_EQ(order.codes[0], BTN_JOYSTICK);
  EXPECT_EQ(order.codes[31], 0x13f);

  std::uint8_t all_down[KEY_BITS_SIZE] = {};
  for (unsigned code = 0; code < KEY_CNT; ++code) set_bit(all_down, code);
  EXPECT_EQ(button_mask(order, all_down), 0xffffffffu);
}

TEST(ButtonMask, PressedButtonsSetTheirPlaceInTheOrder) {
  Device pad = gamepad().keys({BTN_0});
  ButtonOrder order = order_buttons(pad.caps);
  std::uint8_t state[KEY_BITS_SIZE] = {};
  EXPECT_EQ(button_mask(order, state), 0u);
  set_bit(state, BTN_EAST);   // button 2
  set_bit(state, BTN_0);      // button 12: misc buttons come last
  set_bit(state, KEY_A);      // a key the device has not: ignored
  set_bit(state, BTN_THUMB);  // nor this one
  EXPECT_EQ(button_mask(order, state), (1u << 1) | (1u << 11));
}

TEST(ScaleAxis, LimitsMapToFullRangeRoundedToNearest) {
  EXPECT_EQ(scale_axis(0, 0, 1023), 0u);
  EXPECT_EQ(scale_axis(1023, 0, 1023), 65535u);
  EXPECT_EQ(scale_axis(512, 0, 1023), 32800u);  // 32799.53
  EXPECT_EQ(scale_axis(1, 0, 1023), 64u);       // 64.06
  EXPECT_EQ(scale_axis(900, 0, 1023), 57655u);  // 57655.43
  EXPECT_EQ(scale_axis(1, 0, 2), 32768u);       // 32767.5: halves go up
  EXPECT_EQ(scale_axis(17, 0, 255), 4369u);
  EXPECT_EQ(scale_axis(255, 0, 255), 65535u);
}

TEST(ScaleAxis, NegativeMinimumIsOffsetNotMirrored) {
  EXPECT_EQ(scale_axis(-32768, -32768, 32767), 0u);
  EXPECT_EQ(scale_axis(32767, -32768, 32767), 65535u);
  EXPECT_EQ(scale_axis(-1, -32768, 32767), 32767u);
  EXPECT_EQ(scale_axis(0, -32768, 32767), 32768u);
  EXPECT_EQ(scale_axis(-100, -200, -100), 65535u);
  EXPECT_EQ(scale_axis(-150, -200, -100), 32768u);  // 32767.5
}

TEST(ScaleAxis, OutsideTheLimitsIsClampedAndWideRangesDoNotOverflow) {
  EXPECT_EQ(scale_axis(1500, 0, 1023), 65535u);
  EXPECT_EQ(scale_axis(-5, 0, 1023), 0u);
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(scale_axis(lowest, lowest, highest), 0u);
  EXPECT_EQ(scale_axis(highest, lowest, highest), 65535u);
  EXPECT_EQ(scale_axis(0, lowest, highest), 32768u);  // 32767.500008
  EXPECT_EQ(scale_axis(highest - 1, lowest, highest), 65535u);
}

TEST(ScaleAxis, AxisWithoutRangeReadsCentred) {
  EXPECT_EQ(scale_axis(0, 0, 0), 32767u);
  EXPECT_EQ(scale_axis(77, 5, 5), 32767u);
  EXPECT_EQ(scale_axis(3, 10, 0), 32767u);
}

TEST(OpenRetry, FirstAttemptAtOnceThenAtMostOncePerInterval) {
  using namespace std::chrono_literals;
  OpenRetry retry;
  const auto start = OpenRetry::Clock::time_point{} + 1000h;
  EXPECT_TRUE(retry.due(start));
  retry.attempted(start);
  EXPECT_FALSE(retry.due(start));
  EXPECT_FALSE(retry.due(start + 999ms));
  EXPECT_TRUE(retry.due(start + 1s));
  retry.attempted(start + 1500ms);
  EXPECT_FALSE(retry.due(start + 2s));
  EXPECT_TRUE(retry.due(start + 2500ms));
}

// The Linux layer on a machine without input devices (as this build machine is).
TEST(LinuxJoystick, WithoutDevicesReadsCentredAndCapsStayFixed) {
  struct stat st;
  if (::stat("/dev/input", &st) == 0) GTEST_SKIP() << "this machine has input devices";
  JoystickCapabilities caps{1, 2, 3};
  // A missing device is a result, not an error: errno stays as it was, so
  // the server never reports a failed session with the device scan's reason.
  errno = 0;
  EXPECT_EQ(joystick_device().get_capabilities(&caps), -1);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(caps.x_min, 0u);
  EXPECT_EQ(caps.x_max, 65535u);
  EXPECT_EQ(caps.min_period_ms, 10u);

  auto reader = joystick_device().open_reader();
  JoystickState state{9, 9, 9, 9, 5};
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(reader->read(&state), -1);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(state.x, AXIS_CENTRED);
    EXPECT_EQ(state.y, AXIS_CENTRED);
    EXPECT_EQ(state.z, AXIS_CENTRED);
    EXPECT_EQ(state.r, AXIS_CENTRED);
    EXPECT_EQ(state.buttons, 0u);
  }
}

}  // namespace
}  // namespace platform
