#include <io.h>
#include <windows.h>

#include "platform/winmm_joystick.h"
#include "tools/probe_format.h"
#include "tools/probe_joysticks.h"
#include "tools/probe_system.h"

namespace probe {
namespace {

class MultimediaAxesSource final : public AxesSource {
 public:
  explicit MultimediaAxesSource(std::string name) : m_name(std::move(name)) {}

  std::string title() const override {
    return "joystick 0 (id " + std::to_string(platform::JOYSTICK_ZERO_ID) + ") \"" +
           printable(m_name) + "\"";
  }
  platform::AxisNaming naming() const override { return platform::AxisNaming::MULTIMEDIA; }
  bool read(std::vector<platform::DeviceAxis>* axes, std::string* error) override {
    if (read_joystick_zero_axes(platform::multimedia_joysticks(), axes)) return true;
    *error = "joystick 0 cannot be read any more";
    return false;
  }

 private:
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
  *listing = format_joysticks(platform::multimedia_joysticks());
  return true;
}

std::unique_ptr<AxesSource> open_axes_source(const std::string&, std::string* refusal) {
  platform::MultimediaJoysticks& calls = platform::multimedia_joysticks();
  platform::MultimediaJoystickCaps caps;
  std::vector<platform::DeviceAxis> axes;
  if (!calls.capabilities(platform::JOYSTICK_ZERO_ID, &caps) ||
      !read_joystick_zero_axes(calls, &axes)) {
    *refusal = "joystick 0: no joystick answers the multimedia joystick calls' id " +
               std::to_string(platform::JOYSTICK_ZERO_ID);
    return nullptr;
  }
  return std::make_unique<MultimediaAxesSource>(caps.name);
}

}  // namespace probe
