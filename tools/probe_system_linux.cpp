#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "platform/recording_reader.h"
#include "tools/probe_devices.h"
#include "tools/probe_system.h"

namespace probe {

std::string user_name() {
  const passwd* entry = ::getpwuid(::getuid());
  return entry && entry->pw_name ? entry->pw_name : "";
}

bool is_terminal(std::FILE* out) { return ::isatty(::fileno(out)); }

bool list_devices(std::string* listing, std::string*) {
  platform::JoystickChoice choice = platform::read_joystick_choice();
  std::vector<platform::InputDevice> devices = platform::scan_input_devices();
  platform::JoystickZero zero = platform::resolve_joystick_zero(devices, choice);
  if (choice.kind == platform::JoystickChoice::Kind::REPLAY) {
    // The recording is read as the server would read it, for its state.
    const platform::JoystickStatus recording = platform::make_recording_reader(choice)->status();
    *listing = format_devices(devices, zero, choice, &recording);
    return true;
  }
  *listing = format_devices(devices, zero, choice);
  return true;
}

}  // namespace probe
