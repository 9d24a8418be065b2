#include <pwd.h>
#include <unistd.h>

#include <vector>

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
  *listing = format_devices(devices, zero, choice);
  return true;
}

}  // namespace probe
