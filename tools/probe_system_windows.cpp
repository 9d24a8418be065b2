#include <io.h>
#include <windows.h>

#include "tools/probe_system.h"

namespace probe {

std::string user_name() {
  char name[257] = {};
  DWORD size = sizeof name;
  return ::GetUserNameA(name, &size) ? name : "";
}

bool is_terminal(std::FILE* out) { return ::_isatty(::_fileno(out)); }

bool list_devices(std::string*, std::string* refusal) {
  // The multimedia joystick calls name no device: there is nothing to list.
  *refusal = "devices lists Linux input devices; on Windows joystick 0 is the system's";
  return false;
}

}  // namespace probe
