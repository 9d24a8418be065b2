#include "tools/probe_joysticks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "monitor/joystick_state_text.h"
#include "tools/probe_format.h"

namespace probe {
namespace {

std::string describe_axes(const platform::MultimediaJoystickCaps& caps) {
  std::string text = std::to_string(caps.axis_count) + ":";
  for (const platform::MultimediaAxis& axis : caps.axes) {
    if (text.back() != ':') text += ",";
    text += std::string(" ") + axis.letter + " " + std::to_string(axis.min) + ".." +
            std::to_string(axis.max);
  }
  return text;
}

// Drivers report 0 to 65535; a word beyond int32 would be no position.
std::int32_t driver_units(std::uint32_t value) {
  return static_cast<std::int32_t>(std::min<std::uint32_t>(value, INT32_MAX));
}

}  // namespace

std::string format_joysticks(platform::MultimediaJoysticks& calls) {
  struct Row {
    std::string id, axes, name;
  };
  std::vector<Row> rows{{"ID", "AXES", "NAME"}};
  platform::JoystickStatus zero;  // no joystick until id 0 answers
  const unsigned id_count = calls.id_count();
  for (unsigned id = 0; id < id_count; ++id) {
    platform::MultimediaJoystickCaps caps;
    if (!calls.capabilities(id, &caps) || !calls.answers(id)) continue;
    Row row{std::to_string(id), describe_axes(caps), "\"" + printable(caps.name) + "\""};
    if (id == platform::JOYSTICK_ZERO_ID) {
      row.name += ", joystick 0";
      zero.state = platform::JoystickStatus::State::READY;
      zero.name = caps.name;
    }
    rows.push_back(row);
  }

  std::string text;
  if (rows.size() == 1) {
    text += "No joystick: none of the " + std::to_string(id_count) +
            " ids of the multimedia joystick calls answers.\n";
  } else {
    std::size_t id_width = 0, axes_width = 0;
    for (const Row& row : rows) {
      id_width = std::max(id_width, row.id.size());
      axes_width = std::max(axes_width, row.axes.size());
    }
    for (const Row& row : rows) {
      text += padded(row.id, id_width + 2) + padded(row.axes, axes_width + 2) + row.name + "\n";
    }
  }
  text += "\nJoystick 0: " + printable(joystick_state_title(zero));
  if (zero.state == platform::JoystickStatus::State::READY) {
    text += " (id " + std::to_string(platform::JOYSTICK_ZERO_ID) + ")";
  }
  text += "\nJoystick 0 is the multimedia joystick calls' id " +
          std::to_string(platform::JOYSTICK_ZERO_ID) +
          " (JOYSTICKID1); the Game\n"
          "Controllers settings (joy.cpl) choose which joystick that is.\n";
  return text;
}

bool read_joystick_zero_axes(platform::MultimediaJoysticks& calls,
                             std::vector<platform::DeviceAxis>* axes) {
  platform::MultimediaJoystickCaps caps;
  platform::MultimediaPosition position;
  if (!calls.capabilities(platform::JOYSTICK_ZERO_ID, &caps) ||
      !calls.position(platform::JOYSTICK_ZERO_ID, &position)) {
    return false;
  }
  axes->clear();
  for (const platform::MultimediaAxis& axis : caps.axes) {
    const char* letter = std::strchr(platform::MULTIMEDIA_AXIS_LETTERS, axis.letter);
    if (!letter || axis.letter == '\0') continue;
    const auto code = static_cast<std::size_t>(letter - platform::MULTIMEDIA_AXIS_LETTERS);
    axes->push_back(platform::DeviceAxis{static_cast<int>(code), driver_units(axis.min),
                                         driver_units(axis.max), 0, 0,
                                         driver_units(position.axes[code])});
  }
  return true;
}

}  // namespace probe
