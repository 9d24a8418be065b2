#include "platform/axis_mapping.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

#include "platform/settings_file.h"

namespace platform {
namespace {

struct NamedAxis {
  std::string_view name;
  int code;
};

// evdev's ABS_ codes, written out so that the names are also known where
// <linux/input.h> is absent (a listing on Windows of a file made on Linux).
constexpr NamedAxis EVDEV_AXES[] = {
    {"ABS_X", 0x00},        {"ABS_Y", 0x01},       {"ABS_Z", 0x02},        {"ABS_RX", 0x03},
    {"ABS_RY", 0x04},       {"ABS_RZ", 0x05},      {"ABS_THROTTLE", 0x06}, {"ABS_RUDDER", 0x07},
    {"ABS_WHEEL", 0x08},    {"ABS_GAS", 0x09},     {"ABS_BRAKE", 0x0a},    {"ABS_HAT0X", 0x10},
    {"ABS_HAT0Y", 0x11},    {"ABS_HAT1X", 0x12},   {"ABS_HAT1Y", 0x13},    {"ABS_HAT2X", 0x14},
    {"ABS_HAT2Y", 0x15},    {"ABS_HAT3X", 0x16},   {"ABS_HAT3Y", 0x17},    {"ABS_PRESSURE", 0x18},
    {"ABS_DISTANCE", 0x19}, {"ABS_TILT_X", 0x1a},  {"ABS_TILT_Y", 0x1b},   {"ABS_TOOL_WIDTH", 0x1c},
    {"ABS_VOLUME", 0x20},   {"ABS_PROFILE", 0x21}, {"ABS_MISC", 0x28},
};
constexpr int EVDEV_LAST_CODE = 0x3f;  // ABS_MAX

template <typename Visit>
bool find_named_axis(AxisNaming naming, Visit visit) {
  if (naming == AxisNaming::EVDEV) {
    return std::any_of(std::begin(EVDEV_AXES), std::end(EVDEV_AXES), visit);
  }
  for (std::size_t code = 0; code < MULTIMEDIA_AXIS_COUNT; ++code) {
    if (visit(NamedAxis{{&MULTIMEDIA_AXIS_LETTERS[code], 1}, static_cast<int>(code)})) return true;
  }
  return false;
}

int last_code(AxisNaming naming) {
  return naming == AxisNaming::EVDEV ? EVDEV_LAST_CODE
                                     : static_cast<int>(MULTIMEDIA_AXIS_COUNT) - 1;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
           return std::tolower(static_cast<unsigned char>(p)) ==
                  std::tolower(static_cast<unsigned char>(q));
         });
}

// A whole number filling text, in range for T.
template <typename T>
std::optional<T> whole_number(std::string_view text) {
  T number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return number;
}

// "MIN CENTRE MAX": three whole numbers apart by blanks, MIN < CENTRE < MAX.
std::optional<AxisCalibration> parse_calibration(std::string_view value) {
  std::int32_t numbers[3];
  for (std::int32_t& number : numbers) {
    value = trim_blanks(value);
    const std::size_t end = std::min(value.find_first_of(" \t"), value.size());
    const std::optional<std::int32_t> parsed = whole_number<std::int32_t>(value.substr(0, end));
    if (!parsed) return std::nullopt;
    number = *parsed;
    value = value.substr(end);
  }
  if (!trim_blanks(value).empty() || !(numbers[0] < numbers[1] && numbers[1] < numbers[2])) {
    return std::nullopt;
  }
  return AxisCalibration{numbers[0], numbers[1], numbers[2]};
}

// "AXIS" or "-AXIS"; an axis without a name may be given as "axis N", as
// axis_name writes it.
bool parse_axis(std::string_view value, AxisNaming naming, AxisSetting* setting) {
  const bool inverted = !value.empty() && value.front() == '-';
  if (inverted) value = trim_blanks(value.substr(1));
  std::optional<int> code = axis_code_from_name(naming, value);
  constexpr std::string_view UNNAMED = "axis ";
  if (!code && value.size() > UNNAMED.size() &&
      equal_ignoring_case(value.substr(0, UNNAMED.size()), UNNAMED)) {
    code = whole_number<int>(trim_blanks(value.substr(UNNAMED.size())));
    if (code && (*code < 0 || *code > last_code(naming))) code.reset();
  }
  if (!code) return false;
  setting->code = code;
  setting->inverted = inverted;
  return true;
}

std::string axis_problem(const char* key, AxisNaming naming) {
  const char* example = naming == AxisNaming::EVDEV ? "ABS_RX" : "U";
  return std::string(key) + " must be an axis such as " + example + ", or -" + example +
         " for it inverted";
}

// A rational position in units of 1/(2 * 100) of the device's units, so that
// a default centre (min + max) / 2 and the edges of a dead zone in whole
// percent are whole numbers.
constexpr std::int64_t UNITS = 200;

// round(numerator / denominator) for a numerator >= 0 and a denominator > 0,
// halves up.
std::int64_t rounded_quotient(std::int64_t numerator, std::int64_t denominator) {
  return (2 * numerator + denominator) / (2 * denominator);
}

std::uint32_t calibrated_position(std::int64_t value, std::int64_t min, std::int64_t twice_centre,
                                  std::int64_t max, int percent) {
  if (value <= min) return 0;
  if (value >= max) return AXIS_SCALE_MAX;
  const std::int64_t v = value * UNITS, lowest = min * UNITS, highest = max * UNITS;
  const std::int64_t centre = twice_centre * (UNITS / 2);
  // The dead zone's edges: centre - P% of the lower half, centre + P% of the upper.
  const std::int64_t low_edge = centre - percent * (centre - lowest) / 100;
  const std::int64_t high_edge = centre + percent * (highest - centre) / 100;
  if (v < low_edge) {
    return static_cast<std::uint32_t>(
        rounded_quotient((v - lowest) * AXIS_SCALE_CENTRE, low_edge - lowest));
  }
  if (v > high_edge) {
    return AXIS_SCALE_CENTRE +
           static_cast<std::uint32_t>(rounded_quotient(
               (v - high_edge) * (AXIS_SCALE_MAX - AXIS_SCALE_CENTRE), highest - high_edge));
  }
  return AXIS_SCALE_CENTRE;
}

}  // namespace

const char* mapped_axis_key(MappedAxis axis) {
  static constexpr const char* KEYS[MAPPED_AXIS_COUNT] = {"x", "y", "rudder", "thrust"};
  return KEYS[static_cast<std::size_t>(axis)];
}

std::optional<int> axis_code_from_name(AxisNaming naming, std::string_view name) {
  std::optional<int> code;
  find_named_axis(naming, [&](const NamedAxis& axis) {
    if (equal_ignoring_case(axis.name, name)) code = axis.code;
    return code.has_value();
  });
  return code;
}

std::string axis_name(AxisNaming naming, int code) {
  std::string name;
  find_named_axis(naming, [&](const NamedAxis& axis) {
    if (axis.code == code) name = axis.name;
    return !name.empty();
  });
  return name.empty() ? "axis " + std::to_string(code) : name;
}

AxisMapping parse_axis_mapping(std::string_view settings_text, AxisNaming naming,
                               std::vector<SettingProblem>* problems) {
  AxisMapping mapping;
  int line_number = 0;
  while (!settings_text.empty()) {
    ++line_number;
    const std::size_t end = settings_text.find('\n');
    const std::optional<SettingLine> line = setting_line(settings_text.substr(0, end));
    settings_text =
        end == std::string_view::npos ? std::string_view{} : settings_text.substr(end + 1);
    if (!line) continue;
    // The channel's key, then what of it the line sets: "x", "x.calibration", "x.deadzone".
    const std::string_view key = line->key;
    const std::size_t dot = key.find('.');
    const std::string_view channel_key = key.substr(0, dot);
    const MappedAxis* axis =
        std::find_if(std::begin(MAPPED_AXES), std::end(MAPPED_AXES),
                     [&](MappedAxis a) { return channel_key == mapped_axis_key(a); });
    if (axis == std::end(MAPPED_AXES)) continue;
    const std::string_view part = dot == std::string_view::npos ? "" : key.substr(dot);
    const std::string_view value = line->value;
    AxisSetting& setting = mapping[*axis];
    std::string why;
    // An empty value puts the default back, as a missing line does.
    if (dot == std::string_view::npos) {
      AxisSetting parsed = setting;
      if (value.empty()) {
        setting.code.reset();
        setting.inverted = false;
      } else if (parse_axis(value, naming, &parsed)) {
        setting = parsed;
      } else {
        why = axis_problem(mapped_axis_key(*axis), naming);
      }
    } else if (part == ".calibration") {
      const std::optional<AxisCalibration> calibration = parse_calibration(value);
      if (value.empty() || calibration) {
        setting.calibration = calibration;
      } else {
        why = std::string(key) +
              " must be three whole numbers MIN CENTRE MAX with MIN < CENTRE < MAX";
      }
    } else if (part == ".deadzone") {
      const std::optional<int> percent = whole_number<int>(value);
      if (value.empty()) {
        setting.deadzone_percent = 0;
      } else if (percent && *percent >= 0 && *percent <= 50) {
        setting.deadzone_percent = *percent;
      } else {
        why = std::string(key) + " must be a whole number from 0 to 50";
      }
    } else {
      continue;
    }
    if (!why.empty() && problems) problems->push_back(SettingProblem{line_number, why});
  }
  return mapping;
}

std::uint32_t scale_axis(std::int32_t value, std::int32_t minimum, std::int32_t maximum) {
  if (maximum <= minimum) return AXIS_SCALE_CENTRE;
  if (value <= minimum) return 0;
  if (value >= maximum) return AXIS_SCALE_MAX;
  // Exact in 64 bits: the span is below 2^32 and the product below 2^48.
  const std::int64_t span = std::int64_t{maximum} - minimum;
  const std::int64_t scaled = (std::int64_t{value} - minimum) * AXIS_SCALE_MAX;
  return static_cast<std::uint32_t>((2 * scaled + span) / (2 * span));
}

std::uint32_t mapped_position(std::int32_t value, std::int32_t device_min, std::int32_t device_max,
                              const AxisSetting& setting) {
  std::uint32_t position;
  if (setting.calibration) {
    const AxisCalibration& c = *setting.calibration;
    position = calibrated_position(value, c.min, 2 * std::int64_t{c.centre}, c.max,
                                   setting.deadzone_percent);
  } else if (setting.deadzone_percent > 0 && device_min < device_max) {
    position = calibrated_position(value, device_min, std::int64_t{device_min} + device_max,
                                   device_max, setting.deadzone_percent);
  } else {
    // Neither calibration nor dead zone: today's bytes for a user without settings.
    position = scale_axis(value, device_min, device_max);
  }
  if (setting.inverted && position != AXIS_SCALE_CENTRE) position = AXIS_SCALE_MAX - position;
  return position;
}

int default_axis_code(AxisNaming naming, MappedAxis axis, const std::vector<DeviceAxis>& axes) {
  auto has = [&](int code) {
    return std::any_of(axes.begin(), axes.end(),
                       [&](const DeviceAxis& a) { return a.code == code; });
  };
  // The first of the channel's candidates that the device has.
  static constexpr int EVDEV_CANDIDATES[MAPPED_AXIS_COUNT][2] = {
      {0x00, -1}, {0x01, -1}, {0x07, 0x05}, {0x06, 0x02}};  // X; Y; RUDDER, RZ; THROTTLE, Z
  static constexpr int MULTIMEDIA_CANDIDATES[MAPPED_AXIS_COUNT][2] = {
      {0, -1}, {1, -1}, {3, -1}, {2, -1}};  // X; Y; R; Z
  const auto& candidates =
      (naming == AxisNaming::EVDEV ? EVDEV_CANDIDATES
                                   : MULTIMEDIA_CANDIDATES)[static_cast<std::size_t>(axis)];
  for (int code : candidates) {
    if (code >= 0 && has(code)) return code;
  }
  return -1;
}

std::array<int, MAPPED_AXIS_COUNT> mapped_axis_codes(const std::vector<DeviceAxis>& axes,
                                                     const AxisMapping& mapping,
                                                     AxisNaming naming) {
  std::array<int, MAPPED_AXIS_COUNT> codes{};
  for (std::size_t index = 0; index < MAPPED_AXIS_COUNT; ++index) {
    const AxisSetting& setting = mapping.axes[index];
    codes[index] = setting.code ? *setting.code
                                : default_axis_code(naming, static_cast<MappedAxis>(index), axes);
  }
  return codes;
}

const DeviceAxis* find_device_axis(const std::vector<DeviceAxis>& axes, int code) {
  const auto found =
      std::find_if(axes.begin(), axes.end(), [&](const DeviceAxis& a) { return a.code == code; });
  return code >= 0 && found != axes.end() ? &*found : nullptr;
}

MappedReading map_device_axes(const std::vector<DeviceAxis>& axes, const AxisMapping& mapping,
                              AxisNaming naming) {
  return map_device_axes(axes, mapping, mapped_axis_codes(axes, mapping, naming));
}

MappedReading map_device_axes(const std::vector<DeviceAxis>& axes, const AxisMapping& mapping,
                              const std::array<int, MAPPED_AXIS_COUNT>& codes) {
  MappedReading reading;
  for (std::size_t index = 0; index < MAPPED_AXIS_COUNT; ++index) {
    const DeviceAxis* found = find_device_axis(axes, codes[index]);
    reading.axes[index] = MappedAxisStatus{codes[index], found != nullptr};
    reading.positions[index] =
        found ? mapped_position(found->value, found->min, found->max, mapping.axes[index])
              : AXIS_SCALE_CENTRE;
  }
  return reading;
}

}  // namespace platform
