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
  // REFUSED: the value was too long to be a choice; no device is joystick 0,
  // as none stands in for one the user chose.
  enum class Kind { LOWEST, PATH, NAME, REFUSED };
  Kind kind = Kind::LOWEST;
  std::string value;   // the path, or the part of the name (matched ignoring case)
  std::string origin;  // JOYSTICK_VARIABLE or the settings file; empty for LOWEST
};

// A value starting with '/' is a path, any other a part of a name; an empty
// (or all blank) value keeps the lowest-numbered joystick, and one longer than
// SETTING_VALUE_MAX_BYTES is REFUSED (without its value).
JoystickChoice choice_from_value(std::string_view value, std::string origin);

// The choice from ORVANDELCASTER_JOYSTICK when it is set, else from the
// settings file, else LOWEST. A refused choice is said once per process on
// standard error, as one line naming where it came from.
JoystickChoice read_joystick_choice();

}  // namespace platform
