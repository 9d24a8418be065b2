#pragma once

// What the calibration dialog works out, the same for any window that shows
// it: a channel's label, what a calibration sweep saw and whether it makes a
// calibration, and the settings lines the edited mapping becomes.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/settings_writer.h"

// The channel's name as the windows and the joystick's state text give it:
// "X", "Y", "Rudder", "Thrust".
const char* channel_label(platform::MappedAxis channel);

// The least and the most raw value seen of each axis since the sweep began.
class AxisSweep {
 public:
  void see(const std::vector<platform::DeviceAxis>& axes);
  // Nullopt for an axis never seen.
  std::optional<std::pair<std::int32_t, std::int32_t>> range(int code) const;

 private:
  std::map<int, std::pair<std::int32_t, std::int32_t>> m_seen;
};

// The end of a sweep ("Done"): either the mapping with each channel's axis
// calibrated (MIN and MAX as seen, CENTRE its value at rest now), or why not.
struct SweepResult {
  std::optional<platform::AxisMapping> mapping;
  std::string refusal;  // for people, when mapping is nullopt
};
// Every channel whose axis the device has must have been moved to both sides
// of where it rests: MIN < CENTRE < MAX. A channel without an axis is left as it is.
SweepResult finish_sweep(const AxisSweep& sweep, const std::vector<platform::DeviceAxis>& now,
                         const platform::AxisMapping& mapping, platform::AxisNaming naming);

// The settings lines of mapping for the four channels: each key set or, where
// the mapping leaves it at its default, removed. An inverted channel without
// a chosen axis names the default one, since '-' needs a name.
std::vector<platform::SettingChange> mapping_changes(const platform::AxisMapping& mapping,
                                                     platform::AxisNaming naming,
                                                     const std::vector<platform::DeviceAxis>& axes);
