#pragma once

#include <cstdint>

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

}  // namespace platform
