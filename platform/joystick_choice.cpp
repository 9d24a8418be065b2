#include "platform/joystick_choice.h"

#include <cstdlib>
#include <optional>

#include "platform/settings_file.h"

namespace platform {

JoystickChoice choice_from_value(std::string_view value, std::string origin) {
  JoystickChoice choice;
  std::string_view text = trim_blanks(value);
  if (text.empty()) return choice;
  choice.origin = std::move(origin);
  choice.kind = text.front() == '/' ? JoystickChoice::Kind::PATH : JoystickChoice::Kind::NAME;
  choice.value = std::string(text);
  return choice;
}

JoystickChoice read_joystick_choice() {
  if (const char* value = std::getenv(JOYSTICK_VARIABLE)) {
    return choice_from_value(value, JOYSTICK_VARIABLE);
  }
  const std::string path = settings_file_path();
  std::optional<std::string> value = read_setting(path, JOYSTICK_SETTING);
  return value ? choice_from_value(*value, path) : JoystickChoice{};
}

}  // namespace platform
