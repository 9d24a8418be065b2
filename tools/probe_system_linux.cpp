#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "monitor/joystick_state_text.h"
#include "platform/evdev_axes.h"
#include "platform/joystick_resolution.h"
#include "platform/settings_file.h"
#include "tools/probe_axes.h"
#include "platform/recording_reader.h"
#include "tools/probe_devices.h"
#include "tools/probe_format.h"
#include "tools/probe_system.h"

namespace probe {
namespace {

using platform::AxisNaming;
using platform::DeviceAxis;

// The absolute axes of the device at path now; false when it cannot be
// opened or is no input device.
bool read_node_axes(const std::string& path, std::vector<DeviceAxis>* axes) {
  platform::UniqueFd fd = platform::open_input_node(path);
  return fd.valid() && platform::read_evdev_axes(fd.get(), axes) == 0;
}

std::string device_title(const std::string& path, const std::string& name) {
  return name.empty() ? printable(path) : printable(path) + " \"" + printable(name) + "\"";
}

// The user's mapping as every reader of joystick 0 takes it from the
// settings file, with why the file was not read and the lines it ignores.
struct SettingsMapping {
  std::string path;
  std::string refused;
  std::vector<platform::SettingProblem> problems;
  platform::AxisMapping mapping;
};

SettingsMapping read_settings_mapping() {
  SettingsMapping read;
  read.path = platform::settings_file_path();
  read.mapping =
      platform::read_axis_mapping(read.path, AxisNaming::EVDEV, &read.problems, &read.refused);
  return read;
}

// The mapping in force for joystick 0 over the device's axes, and the lines
// of the settings file that are ignored.
std::string mapping_section(const SettingsMapping& read, const std::vector<DeviceAxis>& axes) {
  std::string section = "\nMapping in force for joystick 0 (keys x, y, rudder, thrust and their\n" +
                        std::string(".calibration and .deadzone in ") +
                        (read.path.empty() ? "the settings file, which has no place here"
                                           : printable(read.path)) +
                        "):\n" + format_mapping(read.mapping, axes, AxisNaming::EVDEV);
  if (!read.refused.empty()) {
    section += "  The settings file is not read: " + printable(read.refused) + "\n";
  }
  for (const platform::SettingProblem& problem : read.problems) {
    section += "  Line " + std::to_string(problem.line) + " is ignored: " +
               printable(problem.why) + "\n";
  }
  return section;
}

class EvdevAxesSource final : public AxesSource {
 public:
  EvdevAxesSource(platform::UniqueFd fd, std::string path, std::string name)
      : m_fd(std::move(fd)), m_path(std::move(path)), m_name(std::move(name)) {}

  std::string title() const override { return device_title(m_path, m_name); }
  AxisNaming naming() const override { return AxisNaming::EVDEV; }
  bool read(std::vector<DeviceAxis>* axes, std::string* error) override {
    if (platform::read_evdev_axes(m_fd.get(), axes) == 0) return true;
    *error = "cannot read " + printable(m_path) + " any more: " + std::strerror(errno);
    return false;
  }

 private:
  platform::UniqueFd m_fd;
  std::string m_path;
  std::string m_name;
};

}  // namespace

std::string user_name() {
  const passwd* entry = ::getpwuid(::getuid());
  return entry && entry->pw_name ? entry->pw_name : "";
}

bool is_terminal(std::FILE* out) { return ::isatty(::fileno(out)); }

bool list_devices(std::string* listing, std::string*) {
  platform::JoystickChoice choice = platform::read_joystick_choice();
  std::vector<platform::InputDevice> devices = platform::scan_input_devices();
  // A chosen device is joystick 0 when it has the axes its mapping uses.
  const SettingsMapping settings = read_settings_mapping();
  platform::JoystickZero zero = platform::resolve_joystick_zero(devices, choice, settings.mapping);
  if (choice.kind == platform::JoystickChoice::Kind::REPLAY) {
    // The recording is read as the server would read it, for its state.
    const platform::JoystickStatus recording = platform::make_recording_reader(choice)->status();
    *listing = format_devices(devices, zero, choice, &recording);
    return true;
  }
  *listing = format_devices(devices, zero, choice);
  std::vector<DeviceAxis> zero_axes;
  for (const platform::InputDevice& device : devices) {
    std::vector<DeviceAxis> axes;
    if (!device.readable() || !read_node_axes(device.path, &axes) || axes.empty()) continue;
    *listing += "\nAbsolute axes of " + device_title(device.path, device.name) + ":\n" +
                format_axis_table(axes, AxisNaming::EVDEV);
    if (zero.state == platform::JoystickZero::State::READY && device.number == zero.device.number)
      zero_axes = axes;
  }
  if (zero.state == platform::JoystickZero::State::READY) *listing += mapping_section(settings, zero_axes);
  return true;
}

std::unique_ptr<AxesSource> open_axes_source(const std::string& device, std::string* refusal) {
  std::vector<platform::InputDevice> devices = platform::scan_input_devices();
  std::string path = device, name;
  if (device.empty()) {
    const platform::JoystickChoice choice = platform::read_joystick_choice();
    const platform::JoystickZero zero =
        platform::resolve_joystick_zero(devices, choice, read_settings_mapping().mapping);
    const platform::JoystickStatus status = platform::joystick_status(zero, choice);
    if (zero.state != platform::JoystickZero::State::READY) {
      const std::string detail = joystick_state_detail(status);
      *refusal = "joystick 0: " + joystick_state_title(status) + (detail.empty() ? "" : ": ") +
                 detail;
      return nullptr;
    }
    path = zero.device.path;
    name = zero.device.name;
  } else if (device[0] == '/') {
    const std::string node = platform::canonical_path(device);
    for (const platform::InputDevice& known : devices) {
      if (known.path == node) name = known.name;
    }
  } else {
    // The lowest-numbered device whose name holds the part, as a name
    // chooses joystick 0; any input device, so pedals can be looked at.
    path.clear();
    for (const platform::InputDevice& known : devices) {
      if (!platform::name_holds(known.name, device)) continue;
      path = known.path;
      name = known.name;
      break;
    }
    if (path.empty()) {
      *refusal = "no input device's name holds \"" + printable(device) + "\"";
      return nullptr;
    }
  }

  platform::UniqueFd fd = platform::open_input_node(path);
  if (!fd.valid()) {
    *refusal = "cannot open " + printable(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  std::vector<DeviceAxis> axes;
  if (platform::read_evdev_axes(fd.get(), &axes) < 0) {
    *refusal = errno == ENODEV ? printable(path) + " is gone"
                               : printable(path) + " is not an input device";
    return nullptr;
  }
  if (axes.empty()) {
    *refusal = device_title(path, name) + " has no absolute axes";
    return nullptr;
  }
  return std::make_unique<EvdevAxesSource>(std::move(fd), path, name);
}

}  // namespace probe
