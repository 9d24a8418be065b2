#pragma once

// Joystick 0 in words, for both monitor windows and capture-probe: a short
// title (the device's name, or why there is none) and a longer line (its
// node and the choice behind it, or what to do). The device's name and node
// and the user's choice come from outside: they are shown escaped and
// shortened (platform/outside_text.h), so each text stays one line.

#include <string>

#include "platform/joystick_choice.h"
#include "platform/joystick_device.h"

struct JoystickStateText {
  std::string title;
  std::string detail;
  bool operator==(const JoystickStateText&) const = default;
};

// "chosen by ORVANDELCASTER_JOYSTICK" or "chosen in" and the settings file;
// empty for LOWEST.
std::string describe_choice(const platform::JoystickChoice& choice);

// The device's name when it is ready (or "Joystick" when it has none, or
// "Recording: FILE" for a recording), else
// "No joystick", "Joystick not found", "Not a joystick", "No permission" or
// "Cannot read joystick".
std::string joystick_state_title(const platform::JoystickStatus& status);

// The node in use and the choice behind it, or what to do about the state;
// empty where the system names no devices.
std::string joystick_state_detail(const platform::JoystickStatus& status);

JoystickStateText describe_joystick(const platform::JoystickStatus& status);
