#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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

// The multimedia calls' number for joystick 0: JOYSTICKID1, the first
// joystick the system knows.
inline constexpr unsigned JOYSTICK_ZERO_ID = 0;

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
};

// The letters of the multimedia joystick's axes; an axis's index here is its
// code (as axis_code_from_name reads AxisNaming::MULTIMEDIA).
inline constexpr char MULTIMEDIA_AXIS_LETTERS[] = "XYZRUV";
inline constexpr std::size_t MULTIMEDIA_AXIS_COUNT = 6;

// One reading by joyGetPosEx: every axis's position in the driver's units,
// indexed as MULTIMEDIA_AXIS_LETTERS (an axis the joystick lacks reads what
// the driver puts there).
struct MultimediaPosition {
  std::array<std::uint32_t, MULTIMEDIA_AXIS_COUNT> axes{};
};

// The system's joysticks through the multimedia calls, behind the seam a test
// can replace (there is no joystick on the machines the tests run on).
class MultimediaJoysticks {
 public:
  virtual ~MultimediaJoysticks() = default;
  // joyGetNumDevs: how many ids the driver has room for, joysticks or not.
  virtual unsigned id_count() = 0;
  // joyGetDevCaps: true with *caps filled, false when no joystick has the id.
  virtual bool capabilities(unsigned id, MultimediaJoystickCaps* caps) = 0;
  // joyGetPosEx: whether the joystick with the id can be read now.
  virtual bool answers(unsigned id) = 0;
  // joyGetPosEx: true with *position filled, false when the id cannot be read now.
  virtual bool position(unsigned id, MultimediaPosition* position) = 0;
};

// Windows only: the real calls.
MultimediaJoysticks& multimedia_joysticks();

}  // namespace platform
