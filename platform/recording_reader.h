#pragma once

// Joystick 0 as a recorded performance, when the user's choice says
// "replay:FILE": the recording (platform/recording.h) played on a monotonic
// clock from a reader's first reading, or from the first reading after
// restart_playback. A file that cannot be played is a joystick 0 that is
// NOT_FOUND, with the reason; the reader then reads centred. Mapping,
// calibration and dead zone are a device's: they do not apply here.

#include <functional>
#include <memory>

#include "platform/joystick_choice.h"
#include "platform/joystick_device.h"

namespace platform {

// A reader of the recording that choice (a REPLAY one) names; the file is
// read once, here.
std::unique_ptr<JoystickReader> make_recording_reader(const JoystickChoice& choice);

// A reader that follows the user's choice: a recording's when the choice is
// one, else the one make_device_reader makes. After look_again (of any
// reader of the process) it takes the choice anew, and reads a chosen
// recording anew, so a new performance saved in its place is played.
std::unique_ptr<JoystickReader> follow_joystick_choice(
    std::function<std::unique_ptr<JoystickReader>()> make_device_reader);

}  // namespace platform
