#include <io.h>
#include <windows.h>

#include "platform/multimedia_joystick.h"
#include "platform/winmm_joystick.h"
#include "tools/probe_joysticks.h"
#include "tools/probe_system.h"

namespace probe {

std::string user_name() {
  char name[257] = {};
  DWORD size = sizeof name;
  return ::GetUserNameA(name, &size) ? name : "";
}

bool is_terminal(std::FILE* out) { return ::_isatty(::_fileno(out)); }

bool list_devices(std::string* listing, std::string*) {
  *listing = format_joysticks(platform::multimedia_joysticks(), platform::read_multimedia_choice());
  return true;
}

}  // namespace probe
