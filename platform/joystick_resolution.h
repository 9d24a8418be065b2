#pragma once

// Which input device is joystick 0, and when there is none, why: the one
// answer that the window, the server's sampling and the device listing all give.
//
// Joystick 0 is the lowest-numbered device that is a joystick by the rule of
// is_joystick() and that we may read; when no joystick may be read, the
// lowest-numbered one that exists is joystick 0 and the answer says what
// keeps us from reading it. When the user chose a device (joystick_choice.h),
// that device alone is joystick 0, and when it is absent there is none. A
// chosen device need not look like a joystick: pedals or a throttle quadrant
// will do when they have every axis the user's mapping names and at least one
// axis that feeds a channel; among devices matching a chosen name, a joystick
// comes first.

#include <string>
#include <string_view>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/input_devices.h"
#include "platform/joystick_choice.h"
#include "platform/joystick_device.h"

namespace platform {

// What joystick 0 is at one moment.
struct JoystickZero {
  using State = JoystickStatus::State;
  State state = State::NO_JOYSTICK;
  InputDevice device;   // for READY, NOT_A_JOYSTICK and UNREADABLE
  std::string why_not;  // for NOT_A_JOYSTICK: why it cannot serve (else why_not_joystick's)
};

// A chosen path is followed through its links as they are at this moment, so
// a /dev/input/by-id/ link names the node it points to now, also when the
// device was plugged in after the choice was read.
JoystickZero resolve_joystick_zero(const std::vector<InputDevice>& devices,
                                   const JoystickChoice& choice,
                                   const AxisMapping& mapping = AxisMapping{});

// Whether a device's name holds part, case ignored: how a chosen name picks
// its device.
bool name_holds(std::string_view name, std::string_view part);

// zero, reached by choice, as the facts every reader reports.
JoystickStatus joystick_status(const JoystickZero& zero, const JoystickChoice& choice);

}  // namespace platform
