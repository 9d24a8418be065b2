#include "monitor/calibration_model.h"

#include <algorithm>

using platform::AxisMapping;
using platform::DeviceAxis;
using platform::MappedAxis;

const char* channel_label(MappedAxis channel) {
  switch (channel) {
    case MappedAxis::X:
      return "X";
    case MappedAxis::Y:
      return "Y";
    case MappedAxis::RUDDER:
      return "Rudder";
    case MappedAxis::THRUST:
      return "Thrust";
  }
  return "";
}

void AxisSweep::see(const std::vector<DeviceAxis>& axes) {
  for (const DeviceAxis& axis : axes) {
    auto [it, added] = m_seen.try_emplace(axis.code, axis.value, axis.value);
    if (added) continue;
    it->second.first = std::min(it->second.first, axis.value);
    it->second.second = std::max(it->second.second, axis.value);
  }
}

std::optional<std::pair<std::int32_t, std::int32_t>> AxisSweep::range(int code) const {
  auto it = m_seen.find(code);
  if (it == m_seen.end()) return std::nullopt;
  return it->second;
}

SweepResult finish_sweep(const AxisSweep& sweep, const std::vector<DeviceAxis>& now,
                         const AxisMapping& mapping, platform::AxisNaming naming) {
  AxisMapping calibrated = mapping;
  const auto codes = platform::mapped_axis_codes(now, mapping, naming);
  for (MappedAxis channel : platform::MAPPED_AXES) {
    const int code = codes[static_cast<std::size_t>(channel)];
    const DeviceAxis* axis = platform::find_device_axis(now, code);
    if (!axis) continue;
    const std::string name =
        std::string(channel_label(channel)) + " (" + platform::axis_name(naming, code) + ")";
    const auto seen = sweep.range(code);
    if (!seen || seen->first == seen->second) {
      return {std::nullopt, name +
                                " was not moved: move it to both its limits, let go and press "
                                "Done again."};
    }
    const std::int32_t rest = axis->value;
    if (!(seen->first < rest && rest < seen->second)) {
      return {std::nullopt, name + " rests at " + std::to_string(rest) + ", not between " +
                                std::to_string(seen->first) + " and " +
                                std::to_string(seen->second) +
                                ": move it to both its limits, let go and press Done again."};
    }
    calibrated[channel].calibration = platform::AxisCalibration{seen->first, rest, seen->second};
  }
  return {calibrated, {}};
}

std::vector<platform::SettingChange> mapping_changes(const AxisMapping& mapping,
                                                     platform::AxisNaming naming,
                                                     const std::vector<DeviceAxis>& axes) {
  std::vector<platform::SettingChange> changes;
  for (MappedAxis channel : platform::MAPPED_AXES) {
    const platform::AxisSetting& setting = mapping[channel];
    const std::string key = platform::mapped_axis_key(channel);
    std::optional<std::string> axis;
    const int code = setting.code       ? *setting.code
                     : setting.inverted ? platform::default_axis_code(naming, channel, axes)
                                        : -1;
    if (code >= 0) axis = (setting.inverted ? "-" : "") + platform::axis_name(naming, code);
    changes.push_back({key, axis});
    std::optional<std::string> calibration;
    if (const auto& c = setting.calibration) {
      calibration =
          std::to_string(c->min) + " " + std::to_string(c->centre) + " " + std::to_string(c->max);
    }
    changes.push_back({key + ".calibration", calibration});
    changes.push_back(
        {key + ".deadzone", setting.deadzone_percent > 0
                                ? std::optional(std::to_string(setting.deadzone_percent))
                                : std::nullopt});
  }
  return changes;
}
