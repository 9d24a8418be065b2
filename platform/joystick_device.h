#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// What the program needs to know about joystick 0 before it reads it. On Linux
// they are fixed (0 to 65535, 10 ms), present device or not.
struct JoystickCapabilities {
  std::uint32_t x_min;
  std::uint32_t x_max;
  std::uint32_t min_period_ms;  // the shortest sensible polling period
};

// One reading of joystick 0. Axes run 0 to 65535; bit i of buttons is button i + 1.
struct JoystickState {
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t z;  // third axis (throttle)
  std::uint32_t r;  // fourth axis (rudder)
  std::uint32_t buttons;
};

// What an axis reads when there is no device, or the device lacks it.
inline constexpr std::uint32_t AXIS_CENTRED = 32767;
inline constexpr JoystickState CENTRED_STATE{AXIS_CENTRED, AXIS_CENTRED, AXIS_CENTRED, AXIS_CENTRED,
                                             0};

// Joystick 0 in words, for the window: a short title (the device's name, or
// why there is none) and a longer line (its node, or what to do).
struct JoystickStateText {
  std::string title;
  std::string detail;
  bool operator==(const JoystickStateText&) const = default;
};

// A handle on joystick 0 for one reader. Each reader (the server thread's
// sampling, the monitor's timer) has its own and uses it from one thread.
class JoystickReader {
 public:
  virtual ~JoystickReader() = default;
  // Fills *state with the current state: 0, or -1 when there is no device
  // (then *state is CENTRED_STATE).
  virtual int read(JoystickState* state) = 0;
  // What joystick 0 was at the last reading, in words for the window: the
  // device's name and node, or why there is none.
  virtual JoystickStateText state_text() const = 0;
};

// Joystick 0, behind the one seam a test can replace.
class JoystickDevice {
 public:
  virtual ~JoystickDevice() = default;
  // Fills *caps: 0, or -1 when there is no joystick 0 (the record is filled anyway).
  virtual int get_capabilities(JoystickCapabilities* caps) = 0;
  virtual std::unique_ptr<JoystickReader> open_reader() = 0;
};

JoystickDevice& joystick_device();
// Tests only: puts a fake device in place of the Linux one; nullptr puts it back.
void set_joystick_device(JoystickDevice* replacement);

}  // namespace platform
