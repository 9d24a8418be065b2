#include "platform/winmm_joystick.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "platform/settings_file.h"

namespace platform {

int capabilities_from_device(bool read, std::uint32_t x_min, std::uint32_t x_max,
                             std::uint32_t period_min, JoystickCapabilities* caps) {
  if (!read) {
    *caps = FIXED_CAPABILITIES;
    return -1;
  }
  *caps = JoystickCapabilities{x_min, x_max, period_min};
  return 0;
}

std::optional<unsigned> multimedia_joystick_id(std::string_view value) {
  value = trim_blanks(value);
  unsigned number = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
    return std::nullopt;
  }
  if (number < 1 || number > MULTIMEDIA_JOYSTICK_COUNT) return std::nullopt;
  return number - 1;
}

namespace {

std::int32_t held_in_int32(std::uint32_t value) {
  return static_cast<std::int32_t>(
      std::min<std::uint32_t>(value, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::vector<DeviceAxis> multimedia_device_axes(const MultimediaJoystickCaps& caps,
                                               const MultimediaPosition& position) {
  std::vector<DeviceAxis> axes;
  for (const MultimediaAxis& axis : caps.axes) {
    const char* letter = std::strchr(MULTIMEDIA_AXIS_LETTERS, axis.letter);
    if (!letter || axis.letter == '\0') continue;
    const int code = static_cast<int>(letter - MULTIMEDIA_AXIS_LETTERS);
    axes.push_back({code, held_in_int32(axis.min), held_in_int32(axis.max), 0, 0,
                    held_in_int32(position.axes[static_cast<std::size_t>(code)])});
  }
  return axes;
}

MultimediaReading multimedia_reading(const MultimediaJoystickCaps& caps,
                                     const MultimediaPosition& position,
                                     const AxisMapping& mapping) {
  const MappedReading mapped =
      map_device_axes(multimedia_device_axes(caps, position), mapping, AxisNaming::MULTIMEDIA);
  const auto& raw = position.axes;  // X Y Z R U V
  MultimediaReading reading{{raw[0], raw[1], raw[2], raw[3], position.buttons, 0}, mapped.axes};
  for (std::size_t i = 0; i < MAPPED_AXIS_COUNT; ++i) {
    if (mapping.axes[i] == AxisSetting{}) continue;
    axis_of(reading.state, MAPPED_AXES[i]) = mapped.positions[i];
    reading.state.positions |= 1u << i;
  }
  return reading;
}

}  // namespace platform
