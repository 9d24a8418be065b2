#pragma once

// The user's choice of joystick 0: another device than the lowest-numbered
// joystick, by path or by a part of its name, from the variable
// ORVANDELCASTER_JOYSTICK or the line "joystick = VALUE" of the settings file.

#include <string>
#include <string_view>

namespace platform {

inline constexpr char JOYSTICK_VARIABLE[] = "ORVANDELCASTER_JOYSTICK";
inline constexpr char JOYSTICK_SETTING[] = "joystick";

struct JoystickChoice {
  enum class Kind { LOWEST, PATH, NAME };
  Kind kind = Kind::LOWEST;
  std::string value;   // the path, or the part of the name (matched ignoring case)
  std::string origin;  // JOYSTICK_VARIABLE or the settings file; empty for LOWEST
};

// A value starting with '/' is a path, any other a part of a name; an empty
// (or all blank) value keeps the lowest-numbered joystick.
JoystickChoice choice_from_value(std::string_view value, std::string origin);

// The choice from ORVANDELCASTER_JOYSTICK when it is set, else from the
// settings file, else LOWEST.
JoystickChoice read_joystick_choice();

}  // namespace platform
