#pragma once

#include <string>
#include <vector>

#include "platform/multimedia_joystick.h"
#include "platform/winmm_joystick.h"

// capture-probe devices on Windows: the system's joysticks as the multimedia
// joystick calls see them (no server needed), and which one is joystick 0.
namespace probe {

// Every id below joyGetNumDevs whose capabilities can be asked and which can
// be read now: its id, axes (count and ranges) and product name; then which
// one is joystick 0 (the user's choice, by default JOYSTICKID1), or that
// there is none.
std::string format_joysticks(platform::MultimediaJoysticks& calls,
                             const platform::MultimediaChoice& choice = {});

// The six axes of the joystick with the multimedia id as they read now, coded
// as AxisNaming::MULTIMEDIA codes them: those its capabilities name with the
// driver's ranges, the others with none (0..0, reading 0). False when it is
// not there or cannot be read. caps, when given, gets the capabilities asked.
bool read_joystick_axes(platform::MultimediaJoysticks& calls, unsigned id,
                        std::vector<platform::DeviceAxis>* axes,
                        platform::MultimediaJoystickCaps* caps = nullptr);

}  // namespace probe
