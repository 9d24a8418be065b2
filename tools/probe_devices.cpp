#include "tools/probe_devices.h"

#include <algorithm>
#include <cstring>

#include "monitor/joystick_state_text.h"
#include "tools/probe_format.h"

namespace probe {

std::string format_devices(const std::vector<platform::InputDevice>& devices,
                           const platform::JoystickZero& zero,
                           const platform::JoystickChoice& choice,
                           const platform::JoystickStatus* recording) {
  using State = platform::JoystickZero::State;
  std::string text;
  if (devices.empty()) {
    text += "No input devices in /dev/input.\n";
  } else {
    struct Row {
      std::string node, access, joystick, name;
    };
    std::vector<Row> rows{{"NODE", "ACCESS", "JOYSTICK", "NAME"}};
    const bool has_zero = zero.state == State::READY || zero.state == State::UNREADABLE ||
                          zero.state == State::NOT_A_JOYSTICK;
    for (const platform::InputDevice& device : devices) {
      Row row{printable(device.path), "readable", "yes", "\"" + printable(device.name) + "\""};
      if (!device.readable()) row.access = std::strerror(device.open_error);
      if (const char* why_not = platform::why_not_joystick(device))
        row.joystick = "no: " + std::string(why_not);
      if (has_zero && device.number == zero.device.number) row.joystick += ", joystick 0";
      rows.push_back(row);
    }
    std::size_t node_width = 0, access_width = 0, joystick_width = 0;
    for (const Row& row : rows) {
      node_width = std::max(node_width, row.node.size());
      access_width = std::max(access_width, row.access.size());
      joystick_width = std::max(joystick_width, row.joystick.size());
    }
    for (const Row& row : rows) {
      text += padded(row.node, node_width + 2) + padded(row.access, access_width + 2) +
              padded(row.joystick, joystick_width + 2) + row.name + "\n";
    }
  }
  text += "\nJoystick 0: ";
  if (recording) {
    const JoystickStateText words = describe_joystick(*recording);
    text += words.title + "\n  " + words.detail + "\n";
  } else if (zero.state == State::READY) {
    text += printable(zero.device.path) + " \"" + printable(zero.device.name) + "\"";
    if (!choice.origin.empty()) text += ", " + describe_choice(choice);
    text += "\n";
  } else {
    const platform::JoystickStatus status = platform::joystick_status(zero, choice);
    text += joystick_state_title(status) + "\n";
    if (zero.state != State::NO_JOYSTICK) {
      text += "  " + joystick_state_detail(status) + "\n";
    }
  }
  text +=
      "A joystick has absolute X and Y axes and a joystick or gamepad button;\n"
      "joystick 0 is the lowest-numbered one we may read, unless "
      "ORVANDELCASTER_JOYSTICK\nor the settings file chooses another.\n";
  return text;
}

}  // namespace probe
