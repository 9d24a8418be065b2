#pragma once

#include <string>
#include <vector>

#include "platform/input_devices.h"
#include "platform/joystick_choice.h"
#include "platform/joystick_resolution.h"

// capture-probe devices: the input devices of this machine and which one is
// joystick 0, read from the devices themselves (no server needed). Linux
// only: on Windows the listing is the multimedia calls' joysticks
// (tools/probe_joysticks.h).
namespace probe {

// The listing of `devices`: per input device its node, whether we may read
// it, whether it is a joystick (and why not), its name; then which device is
// joystick 0, or what keeps there from being one. When the choice is a
// recording, recording is its reader's status: joystick 0 is that.
std::string format_devices(const std::vector<platform::InputDevice>& devices,
                           const platform::JoystickZero& zero,
                           const platform::JoystickChoice& choice,
                           const platform::JoystickStatus* recording = nullptr);

}  // namespace probe
