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

}  // namespace

std::string format_joysticks(platform::MultimediaJoysticks& calls,
                             const platform::MultimediaChoice& choice) {
  struct Row {
    std::string id, axes, name;
  };
  std::vector<Row> rows{{"ID", "AXES", "NAME"}};
  platform::JoystickStatus zero;  // no joystick until the chosen id answers
  if (choice.chosen) zero.state = platform::JoystickStatus::State::NOT_FOUND;
  const unsigned id_count = calls.id_count();
  for (unsigned id = 0; id < id_count; ++id) {
    platform::MultimediaJoystickCaps caps;
    if (!calls.capabilities(id, &caps) || !calls.answers(id)) continue;
    Row row{std::to_string(id), describe_axes(caps), "\"" + printable(caps.name) + "\""};
    if (choice.id && id == *choice.id) {
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
    text += " (id " + std::to_string(*choice.id) + ")";
  }
  if (!choice.chosen) {
    return text + "\nJoystick 0 is the multimedia joystick calls' id " +
           std::to_string(platform::JOYSTICK_ZERO_ID) +
           " (JOYSTICKID1); the Game\n"
           "Controllers settings (joy.cpl) choose which joystick that is.\n";
  }
  platform::JoystickChoice origin;
  origin.origin = choice.origin;
  const std::string chosen = describe_choice(origin);
  if (!choice.id) {
    return text + "\nThe joystick " + chosen + " is no number from 1 to " +
           std::to_string(platform::MULTIMEDIA_JOYSTICK_COUNT) + ".\n";
  }
  return text + "\nJoystick 0 is the multimedia joystick calls' id " + std::to_string(*choice.id) +
         " (joystick = " + std::to_string(*choice.id + 1) + "), " + chosen + ".\n";
}

bool read_joystick_axes(platform::MultimediaJoysticks& calls, unsigned id,
                        std::vector<platform::DeviceAxis>* axes,
                        platform::MultimediaJoystickCaps* caps) {
  platform::MultimediaJoystickCaps asked;
  if (!caps) caps = &asked;
  platform::MultimediaPosition position;
  if (!calls.capabilities(id, caps) || !calls.read_position(id, &position)) return false;
  *axes = platform::multimedia_device_axes(*caps, position);
  // All six, so a user sees every name a mapping may use; an axis the
  // joystick lacks has no range (its bar says so) and sorts in its place.
  for (int code = 0; code < static_cast<int>(platform::MULTIMEDIA_AXIS_COUNT); ++code) {
    auto place = std::find_if(axes->begin(), axes->end(),
                              [&](const platform::DeviceAxis& axis) { return axis.code >= code; });
    if (place == axes->end() || place->code != code) axes->insert(place, {code, 0, 0, 0, 0, 0});
  }
  return true;
}

}  // namespace probe
