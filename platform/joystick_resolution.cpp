#include "platform/joystick_resolution.h"

#include <string>

namespace platform {
namespace {

std::string lower_case(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

JoystickZero resolve_joystick_zero(const std::vector<InputDevice>& devices,
                                   const JoystickChoice& choice) {
  using State = JoystickZero::State;
  // A recording stands in for every device (platform/recording_reader.h).
  if (choice.kind == JoystickChoice::Kind::REFUSED || choice.kind == JoystickChoice::Kind::REPLAY)
    return {State::NOT_FOUND, {}};
  if (choice.kind == JoystickChoice::Kind::PATH) {
    const std::string node = canonical_path(choice.value);
    for (const InputDevice& device : devices) {
      if (device.path != node) continue;
      // A node we may not read and whose capabilities are unknown may well
      // be the joystick the user means: the permission is what to fix first.
      if (!device.readable() && !device.capabilities_known) return {State::UNREADABLE, device};
      if (why_not_joystick(device)) return {State::NOT_A_JOYSTICK, device};
      return {device.readable() ? State::READY : State::UNREADABLE, device};
    }
    return {State::NOT_FOUND, {}};
  }

  const std::string part = lower_case(choice.value);
  const InputDevice* unreadable = nullptr;
  for (const InputDevice& device : devices) {
    if (why_not_joystick(device)) continue;
    if (choice.kind == JoystickChoice::Kind::NAME &&
        lower_case(device.name).find(part) == std::string::npos) {
      continue;
    }
    if (device.readable()) return {State::READY, device};
    if (!unreadable) unreadable = &device;
  }
  if (unreadable) return {State::UNREADABLE, *unreadable};
  return {choice.kind == JoystickChoice::Kind::NAME ? State::NOT_FOUND : State::NO_JOYSTICK, {}};
}

JoystickStatus joystick_status(const JoystickZero& zero, const JoystickChoice& choice) {
  JoystickStatus status;
  status.state = zero.state;
  status.name = zero.device.name;
  status.names_devices = true;
  status.path = zero.device.path;
  status.open_error = zero.device.open_error;
  if (zero.state == JoystickStatus::State::NOT_A_JOYSTICK) {
    if (const char* why_not = why_not_joystick(zero.device)) status.why_not = why_not;
  }
  status.group = zero.device.group;
  status.group_may_read = zero.device.group_may_read;
  status.choice = choice;
  return status;
}

}  // namespace platform
