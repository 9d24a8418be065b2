#pragma once

// The user's choice of joystick 0: another device than the lowest-numbered
// joystick, by path or by a part of its name, or a recording played in place
// of a device ("replay:FILE"), from the variable ORVANDELCASTER_JOYSTICK or
// the line "joystick = VALUE" of the settings file.

#include <string>
#include <string_view>

namespace platform {

inline constexpr char JOYSTICK_VARIABLE[] = "ORVANDELCASTER_JOYSTICK";
inline constexpr char JOYSTICK_SETTING[] = "joystick";
inline constexpr char REPLAY_PREFIX[] = "replay:";

struct JoystickChoice {
  // REFUSED: the value was too long to be a choice; no device is joystick 0,
  // as none stands in for one the user chose. REPLAY: joystick 0 is the
  // recording in the file `value` (platform/recording_reader.h).
  enum class Kind { LOWEST, PATH, NAME, REFUSED, REPLAY };
  Kind kind = Kind::LOWEST;
  // The path, the part of the name (matched ignoring case), or the
  // recording's file (empty when "replay:" names none).
  std::string value;
  std::string origin;  // JOYSTICK_VARIABLE or the settings file; empty for LOWEST
};

// A value starting with "replay:" is a recording: the rest is its file, a
// relative one taken from the settings file's folder (also when the value
// comes from the variable: a service's working folder is nobody's choice).
// Any other value starting with '/' is a path, any other a part of a name; an empty
// (or all blank) value keeps the lowest-numbered joystick, and one longer than
// SETTING_VALUE_MAX_BYTES is REFUSED (without its value).
JoystickChoice choice_from_value(std::string_view value, std::string origin);

// The choice from ORVANDELCASTER_JOYSTICK when it is set, else from the
// settings file, else LOWEST. A refused choice is said once per process on
// standard error, as one line naming where it came from.
JoystickChoice read_joystick_choice();

}  // namespace platform
