#include "platform/joystick_choice.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/outside_text.h"
#include "platform/program_name.h"
#include "platform/settings_file.h"
#include "platform/standard_error.h"

namespace platform {
namespace {

// Every reader of joystick 0 reads the choice: the line is said once per process.
JoystickChoice reported_if_refused(JoystickChoice choice) {
  if (choice.kind != JoystickChoice::Kind::REFUSED) return choice;
  static std::once_flag reported;
  std::call_once(reported, [&] {
    const std::string what =
        choice.origin == JOYSTICK_VARIABLE
            ? std::string(JOYSTICK_VARIABLE)
            : "the joystick setting in " + printable_outside_text(choice.origin);
    const std::string line = std::string(program_name()) + ": " + what + " is longer than " +
                             std::to_string(SETTING_VALUE_MAX_BYTES) +
                             " bytes: refused, so joystick 0 is not found\n";
    write_standard_error(line.data(), line.size());
  });
  return choice;
}

// file as named in the choice from origin: a relative one lies in the settings
// file's folder.
std::string recording_path(std::string_view file, const std::string& origin) {
  if (file.empty() || file.front() == '/') return std::string(file);
  const std::string settings = origin == JOYSTICK_VARIABLE ? settings_file_path() : origin;
  const std::filesystem::path folder = std::filesystem::path(settings).parent_path();
  return folder.empty() ? std::string(file) : (folder / file).string();
}

}  // namespace

JoystickChoice choice_from_value(std::string_view value, std::string origin) {
  JoystickChoice choice;
  std::string_view text = trim_blanks(value);
  if (text.empty()) return choice;
  choice.origin = std::move(origin);
  if (text.size() > SETTING_VALUE_MAX_BYTES) {
    choice.kind = JoystickChoice::Kind::REFUSED;
    return choice;
  }
  if (text.starts_with(REPLAY_PREFIX)) {
    choice.kind = JoystickChoice::Kind::REPLAY;
    choice.value = recording_path(trim_blanks(text.substr(std::strlen(REPLAY_PREFIX))), choice.origin);
    return choice;
  }
  choice.kind = text.front() == '/' ? JoystickChoice::Kind::PATH : JoystickChoice::Kind::NAME;
  choice.value = std::string(text);
  return choice;
}

JoystickChoice read_joystick_choice() {
  if (const char* value = std::getenv(JOYSTICK_VARIABLE)) {
    return reported_if_refused(choice_from_value(value, JOYSTICK_VARIABLE));
  }
  const std::string path = settings_file_path();
  std::optional<std::string> value = read_setting(path, JOYSTICK_SETTING);
  return value ? reported_if_refused(choice_from_value(*value, path)) : JoystickChoice{};
}

}  // namespace platform
