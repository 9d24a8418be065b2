#pragma once

#include <string>
#include <vector>

#include "platform/axis_mapping.h"

// What capture-probe shows of a device's absolute axes: their table in
// `devices`, the mapping in force for joystick 0, and the live view of `axes`
// (a frame redrawn on a terminal, a line per change elsewhere). Text only and
// the same on every system, so it is checked without a device.
namespace probe {

// A header, then per axis its name, limits, flat, fuzz and value now; every
// line indented by two spaces.
std::string format_axis_table(const std::vector<platform::DeviceAxis>& axes,
                              platform::AxisNaming naming);

// The mapping in force over a device with axes: a header, then per channel
// (by its settings key) the axis that feeds it, whether it is inverted, its
// calibration (or the device's limits) and dead zone, and, for an axis the
// device lacks, that the channel reads centred.
std::string format_mapping(const platform::AxisMapping& mapping,
                           const std::vector<platform::DeviceAxis>& axes,
                           platform::AxisNaming naming);

// One frame of `axes` on a terminal: the title line, then per axis its name,
// raw value, limits and a bar from the minimum (left end) to the maximum
// (right end), '|' marking the middle. Each line ends by clearing the rest of
// it and the frame by clearing the rest of the screen, so a redraw leaves
// nothing of the previous one.
std::string format_axes_frame(const std::string& title,
                              const std::vector<platform::DeviceAxis>& axes,
                              platform::AxisNaming naming);

// One line of `axes` on a pipe or file: seconds since the start, then
// NAME=VALUE per axis.
std::string format_axes_line(double seconds, const std::vector<platform::DeviceAxis>& axes,
                             platform::AxisNaming naming);

}  // namespace probe
