#include "platform/joystick_resolution.h"

#include <optional>
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

// Why a chosen device that is no joystick cannot serve mapping either; empty
// when it can: it has every axis the mapping names, and some channel gets an
// axis of it.
std::string why_not_serving(const InputDevice& device, const AxisMapping& mapping) {
  const char* why_not = why_not_joystick(device);
  if (!why_not) return {};
  const std::vector<DeviceAxis> axes = absolute_axes(device.capabilities);
  // Without known capabilities or absolute axes it is said as of any device.
  if (!device.capabilities_known || axes.empty()) return why_not;
  const MappedReading reading = map_device_axes(axes, mapping, AxisNaming::EVDEV);
  bool any = false;
  for (std::size_t index = 0; index < MAPPED_AXIS_COUNT; ++index) {
    const MappedAxisStatus& axis = reading.axes[index];
    if (axis.code >= 0 && !axis.present) {
      return "no " + axis_name(AxisNaming::EVDEV, axis.code) + " axis, which " +
             mapped_axis_key(static_cast<MappedAxis>(index)) + " is mapped to";
    }
    any = any || axis.present;
  }
  return any ? "" : "no axis that the mapping uses";
}

}  // namespace

bool name_holds(std::string_view name, std::string_view part) {
  return lower_case(name).find(lower_case(part)) != std::string::npos;
}

JoystickZero resolve_joystick_zero(const std::vector<InputDevice>& devices,
                                   const JoystickChoice& choice, const AxisMapping& mapping) {
  using State = JoystickZero::State;
  // A recording stands in for every device (platform/recording_reader.h).
  if (choice.kind == JoystickChoice::Kind::REFUSED || choice.kind == JoystickChoice::Kind::REPLAY)
    return {State::NOT_FOUND, {}, {}};
  if (choice.kind == JoystickChoice::Kind::PATH) {
    const std::string node = canonical_path(choice.value);
    for (const InputDevice& device : devices) {
      if (device.path != node) continue;
      // A node we may not read and whose capabilities are unknown may well
      // be the joystick the user means: the permission is what to fix first.
      if (!device.readable() && !device.capabilities_known) return {State::UNREADABLE, device, {}};
      std::string why_not = why_not_serving(device, mapping);
      if (!why_not.empty()) return {State::NOT_A_JOYSTICK, device, std::move(why_not)};
      return {device.readable() ? State::READY : State::UNREADABLE, device, {}};
    }
    return {State::NOT_FOUND, {}, {}};
  }

  // The first device that serves by rule, among those matching a chosen name:
  // READY when we may read it, else the first we may not read.
  auto first_serving = [&](auto serves) -> std::optional<JoystickZero> {
    const InputDevice* unreadable = nullptr;
    for (const InputDevice& device : devices) {
      if (!serves(device)) continue;
      if (choice.kind == JoystickChoice::Kind::NAME && !name_holds(device.name, choice.value)) {
        continue;
      }
      if (device.readable()) return JoystickZero{State::READY, device, {}};
      if (!unreadable) unreadable = &device;
    }
    if (unreadable) return JoystickZero{State::UNREADABLE, *unreadable, {}};
    return std::nullopt;
  };
  if (auto zero = first_serving([](const InputDevice& d) { return !why_not_joystick(d); })) {
    return *zero;
  }
  if (choice.kind == JoystickChoice::Kind::NAME) {
    if (auto zero = first_serving(
            [&](const InputDevice& d) { return why_not_serving(d, mapping).empty(); })) {
      return *zero;
    }
  }
  return {
      choice.kind == JoystickChoice::Kind::NAME ? State::NOT_FOUND : State::NO_JOYSTICK, {}, {}};
}

JoystickStatus joystick_status(const JoystickZero& zero, const JoystickChoice& choice) {
  JoystickStatus status;
  status.state = zero.state;
  status.name = zero.device.name;
  status.names_devices = true;
  status.path = zero.device.path;
  status.open_error = zero.device.open_error;
  if (zero.state == JoystickStatus::State::NOT_A_JOYSTICK) {
    status.why_not = zero.why_not;
    if (const char* why_not = why_not_joystick(zero.device); why_not && status.why_not.empty()) {
      status.why_not = why_not;
    }
  }
  status.group = zero.device.group;
  status.group_may_read = zero.device.group_may_read;
  status.choice = choice;
  return status;
}

}  // namespace platform
