#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/joystick_device.h"

// What the Windows multimedia joystick calls decide about joystick 0, written
// without them so that it can be tested on any system.

namespace platform {

// The capabilities of joystick 0 from what joyGetDevCaps filled. When the call
// failed (no joystick), the record holds nothing the driver wrote (Wine leaves
// it as it was, Windows may too): the capabilities are then FIXED_CAPABILITIES
// and the result is -1.
int capabilities_from_device(bool read, std::uint32_t x_min, std::uint32_t x_max,
                             std::uint32_t period_min, JoystickCapabilities* caps);

// The multimedia calls' number for joystick 0 unless the user chooses
// another: JOYSTICKID1, the first joystick the system knows.
inline constexpr unsigned JOYSTICK_ZERO_ID = 0;

// The ids a user may choose with "joystick = N": N from 1 to 16 is id N - 1
// (the calls number from 0, the Game Controllers settings from 1).
inline constexpr unsigned MULTIMEDIA_JOYSTICK_COUNT = 16;

// The id of a value of the joystick setting (blanks around it ignored), or
// nullopt when it is no whole number from 1 to 16.
std::optional<unsigned> multimedia_joystick_id(std::string_view value);

// One axis as joyGetDevCaps describes it: its letter (X, Y, Z, R, U or V) and
// the range the driver reports it in.
struct MultimediaAxis {
  char letter;
  std::uint32_t min;
  std::uint32_t max;
  bool operator==(const MultimediaAxis&) const = default;
};

// What joyGetDevCaps tells of one joystick.
struct MultimediaJoystickCaps {
  std::string name;                  // the product's name (szPname)
  unsigned axis_count = 0;           // wNumAxes
  std::vector<MultimediaAxis> axes;  // X and Y, then those the caps flags name
  std::uint32_t period_min = 0;      // wPeriodMin
};

// What joyGetPosEx tells of one joystick: the positions of X, Y, Z, R, U and
// V (in that order) in the driver's units, and its buttons (bit i: button i + 1).
struct MultimediaPosition {
  std::array<std::uint32_t, MULTIMEDIA_AXIS_COUNT> axes{};
  std::uint32_t buttons = 0;
};

// The axes the caps describe, each with its limits and its value in position
// (the driver's values past the range of int32_t are held at its ends).
std::vector<DeviceAxis> multimedia_device_axes(const MultimediaJoystickCaps& caps,
                                               const MultimediaPosition& position);

// One reading served from the multimedia calls.
struct MultimediaReading {
  JoystickState state;
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> axes;  // as JoystickStatus::axes
};

// The reading of a joystick under the user's mapping. A channel the mapping
// says nothing of serves the driver's raw value, as without settings (the
// server scales it by the X axis's limits); one it maps, inverts, calibrates
// or gives a dead zone serves the position map_device_axes gives, with its
// bit in JoystickState::positions set, so that its channel value is
// (s - 32767.5) / 65535 whatever the driver's units.
MultimediaReading multimedia_reading(const MultimediaJoystickCaps& caps,
                                     const MultimediaPosition& position,
                                     const AxisMapping& mapping);

// The system's joysticks through the multimedia calls, behind the seam a test
// can replace (there is no joystick on the machines the tests run on).
class MultimediaJoysticks {
 public:
  virtual ~MultimediaJoysticks() = default;
  // joyGetNumDevs: how many ids the driver has room for, joysticks or not.
  virtual unsigned id_count() = 0;
  // joyGetDevCaps: true with *caps filled, false when no joystick has the id.
  virtual bool capabilities(unsigned id, MultimediaJoystickCaps* caps) = 0;
  // joyGetPosEx: true with *position filled, false when it cannot be read now.
  virtual bool read_position(unsigned id, MultimediaPosition* position) = 0;
  // Whether the joystick with the id can be read now.
  bool answers(unsigned id) {
    MultimediaPosition ignored;
    return read_position(id, &ignored);
  }
};

// Windows only: the real calls.
MultimediaJoysticks& multimedia_joysticks();

}  // namespace platform
