#include "server/instance_name.h"

#include <optional>

#include "platform/outside_text.h"
#include "platform/program_name.h"
#include "platform/settings_file.h"
#include "protocol/wire.h"

namespace {

// Never freed: the server thread may read it while the process exits.
std::string& the_instance_name() {
  static auto* name = new std::string(DEFAULT_SERVER_NAME);
  return *name;
}

}  // namespace

bool valid_instance_name(std::string_view name) {
  if (name.empty() || name.size() > INSTANCE_NAME_MAX) return false;
  for (char c : name) {
    if (c < 0x20 || c > 0x7e || c == ':') return false;
  }
  return true;
}

void set_instance_name(const std::string& name) { the_instance_name() = name; }

const char* instance_name() { return the_instance_name().c_str(); }

int configure_instance(const char* settings_file, std::string* failure_line) {
  const std::string program = platform::program_name();
  if (settings_file) {
    const std::string refusal = platform::use_settings_file(settings_file);
    if (!refusal.empty()) {
      *failure_line = program + ": cannot use the settings file " +
                      platform::printable_outside_text(settings_file) + ": " + refusal;
      return -1;
    }
  }
  const std::string path = platform::settings_file_path();
  const std::optional<std::string> name = platform::read_setting(path, NAME_SETTING);
  if (!name) return 0;
  if (!valid_instance_name(*name)) {
    *failure_line = program + ": the setting \"" + NAME_SETTING + "\" in " +
                    platform::printable_outside_text(path) + " must be 1 to " +
                    std::to_string(INSTANCE_NAME_MAX) +
                    " printable ASCII characters without ':', not \"" +
                    platform::printable_outside_text(*name) + "\"";
    return -1;
  }
  set_instance_name(*name);
  // The platform's own lines (a refused joystick choice) then tell which
  // instance speaks.
  platform::set_program_name(instance_name());
  return 0;
}
