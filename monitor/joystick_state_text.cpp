#include "monitor/joystick_state_text.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/calibration_model.h"
#include "platform/outside_text.h"
#include "platform/settings_file.h"

namespace {

bool no_permission(int error) { return error == EACCES || error == EPERM; }

// Device names come from the hardware (a USB device names itself), paths and
// the choice from the user's files and environment: none of them may break
// the line or steer a terminal.
std::string shown(std::string_view outside) { return platform::printable_outside_text(outside); }

}  // namespace

std::string describe_choice(const platform::JoystickChoice& choice) {
  if (choice.origin.empty()) return {};
  return (choice.origin == platform::JOYSTICK_VARIABLE ? "chosen by " : "chosen in ") +
         shown(choice.origin);
}

std::string joystick_state_title(const platform::JoystickStatus& status) {
  using State = platform::JoystickStatus::State;
  switch (status.state) {
    case State::READY:
      if (status.choice.kind == platform::JoystickChoice::Kind::REPLAY)
        return "Recording: " + shown(status.path);
      return status.name.empty() ? "Joystick" : shown(status.name);
    case State::NO_JOYSTICK:
      return "No joystick";
    case State::NOT_FOUND:
      return "Joystick not found";
    case State::NOT_A_JOYSTICK:
      return "Not a joystick";
    case State::UNREADABLE:
      break;
  }
  return no_permission(status.open_error) ? "No permission" : "Cannot read joystick";
}

namespace {

// "" when every channel reads an axis of the device, else which channels read
// centred and the axes they are mapped to: "X and Thrust read centred: the
// device has no ABS_RX and no ABS_GAS".
std::string missing_axes(const platform::JoystickStatus& status) {
  std::vector<std::size_t> missing;
  for (std::size_t i = 0; i < platform::MAPPED_AXIS_COUNT; ++i) {
    // A code of -1 is the default mapping finding nothing: a stick without a
    // rudder, as ever, and no news.
    if (status.axes[i].code >= 0 && !status.axes[i].present) missing.push_back(i);
  }
  if (missing.empty()) return {};
  std::string channels, axes;
  for (std::size_t n = 0; n < missing.size(); ++n) {
    const char* separator = n == 0 ? "" : n + 1 == missing.size() ? " and " : ", ";
    channels += separator + std::string(channel_label(platform::MAPPED_AXES[missing[n]]));
    axes += separator + std::string("no ") +
            platform::axis_name(status.naming, status.axes[missing[n]].code);
  }
  return channels + (missing.size() == 1 ? " reads" : " read") + " centred: the device has " + axes;
}

}  // namespace

std::string joystick_state_detail(const platform::JoystickStatus& status) {
  using State = platform::JoystickStatus::State;
  if (status.state == State::READY) {
    // What the user's mapping asks of the device comes before where it is.
    if (std::string missing = missing_axes(status); !missing.empty()) return missing;
  }
  if (!status.names_devices) return {};
  const platform::JoystickChoice& choice = status.choice;
  const std::string chosen = describe_choice(choice);
  const std::string path = shown(status.path);
  switch (status.state) {
    case State::READY:
      return "Joystick 0: " + path + (chosen.empty() ? "" : ", " + chosen);
    case State::NO_JOYSTICK:
      return "No input device is a joystick; \"capture-probe devices\" tells why";
    case State::NOT_FOUND:
      if (choice.kind == platform::JoystickChoice::Kind::REFUSED)
        return "Choice refused (longer than " + std::to_string(platform::SETTING_VALUE_MAX_BYTES) +
               " bytes), " + chosen;
      if (choice.kind == platform::JoystickChoice::Kind::REPLAY)
        return "Recording " + shown(choice.value) + " cannot be played (" + shown(status.why_not) +
               "), " + chosen;
      if (choice.kind == platform::JoystickChoice::Kind::PATH)
        return "No device " + shown(choice.value) + ", " + chosen;
      return "No joystick's name contains \"" + shown(choice.value) + "\", " + chosen;
    case State::NOT_A_JOYSTICK:
      return path + " is not a joystick (" + status.why_not + "), " + chosen;
    case State::UNREADABLE:
      break;
  }
  if (!no_permission(status.open_error)) {
    return "Cannot read " + path + ": " + std::strerror(status.open_error);
  }
  const std::string no_permission_text = "No permission to read " + path + " \u2014 ";
  if (status.group_may_read && !status.group.empty() && status.group != "root") {
    return no_permission_text + "add yourself to the " + status.group + " group";
  }
  return no_permission_text + "a udev rule must give you read access";
}

JoystickStateText describe_joystick(const platform::JoystickStatus& status) {
  return {joystick_state_title(status), joystick_state_detail(status)};
}
