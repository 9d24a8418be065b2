#include <io.h>
#include <windows.h>

#include "platform/multimedia_joystick.h"
#include "platform/winmm_joystick.h"
#include "tools/probe_format.h"
#include "tools/probe_joysticks.h"
#include "tools/probe_system.h"

namespace probe {
namespace {

class MultimediaAxesSource final : public AxesSource {
 public:
  MultimediaAxesSource(unsigned id, std::string name) : m_id(id), m_name(std::move(name)) {}

  // The id as joystick = N names it: one more than the calls' own number.
  std::string title() const override {
    return "joystick 0 (joystick " + std::to_string(m_id + 1) + ") \"" + printable(m_name) + "\"";
  }
  platform::AxisNaming naming() const override { return platform::AxisNaming::MULTIMEDIA; }
  bool read(std::vector<platform::DeviceAxis>* axes, std::string* error) override {
    if (read_joystick_axes(platform::multimedia_joysticks(), m_id, axes)) return true;
    *error = "joystick 0 cannot be read any more";
    return false;
  }

 private:
  unsigned m_id;
  std::string m_name;
};

}  // namespace

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

std::unique_ptr<AxesSource> open_axes_source(const std::string&, std::string* refusal) {
  platform::MultimediaJoysticks& calls = platform::multimedia_joysticks();
  const platform::MultimediaChoice choice = platform::read_multimedia_choice();
  platform::MultimediaJoystickCaps caps;
  std::vector<platform::DeviceAxis> axes;
  if (!choice.id) {
    *refusal = "joystick 0: the joystick chosen by " + printable(choice.origin) +
               " is no number from 1 to " + std::to_string(platform::MULTIMEDIA_JOYSTICK_COUNT);
    return nullptr;
  }
  if (!read_joystick_axes(calls, *choice.id, &axes, &caps)) {
    *refusal = "joystick 0: no joystick answers the multimedia joystick calls' id " +
               std::to_string(*choice.id);
    return nullptr;
  }
  return std::make_unique<MultimediaAxesSource>(*choice.id, caps.name);
}

}  // namespace probe
