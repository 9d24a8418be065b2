#include "tools/probe_axes.h"

#include <algorithm>
#include <limits>

#include "tools/probe_format.h"

namespace probe {
namespace {

// Half the bar: with the name, value and limits a frame stays within 80
// columns for the limits devices report, so no line wraps and breaks the redraw.
constexpr int HALF_BAR = 15;

std::string right_aligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string limits_text(const platform::DeviceAxis& axis) {
  return std::to_string(axis.min) + ".." + std::to_string(axis.max);
}

// Rows of cells laid out as columns two spaces apart, each line indented by
// two; the last cell of a row is not padded.
std::string columns(const std::vector<std::vector<std::string>>& rows,
                    const std::vector<bool>& right) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line = " ";
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += " ";
      const bool last = i + 1 == row.size();
      if (i < right.size() && right[i]) {
        line += right_aligned(row[i], widths[i]);
      } else {
        line += last ? row[i] : padded(row[i], widths[i]);
      }
      if (!last) line += " ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

const platform::DeviceAxis* find_axis(const std::vector<platform::DeviceAxis>& axes, int code) {
  for (const platform::DeviceAxis& axis : axes) {
    if (axis.code == code) return &axis;
  }
  return nullptr;
}

// The bar's value on the scale -0.5 to +0.5 that format_bar draws: the
// minimum at the left end, the maximum at the right one. An axis without a
// range has no place on it.
float bar_value(const platform::DeviceAxis& axis) {
  if (axis.max <= axis.min) return std::numeric_limits<float>::quiet_NaN();
  const double span = static_cast<double>(axis.max) - axis.min;
  return static_cast<float>((static_cast<double>(axis.value) - axis.min) / span - 0.5);
}

}  // namespace

std::string format_axis_table(const std::vector<platform::DeviceAxis>& axes,
                              platform::AxisNaming naming) {
  std::vector<std::vector<std::string>> rows{{"AXIS", "MIN", "MAX", "FLAT", "FUZZ", "VALUE"}};
  for (const platform::DeviceAxis& axis : axes) {
    rows.push_back({platform::axis_name(naming, axis.code), std::to_string(axis.min),
                    std::to_string(axis.max), std::to_string(axis.flat),
                    std::to_string(axis.fuzz), std::to_string(axis.value)});
  }
  return columns(rows, {false, true, true, true, true, true});
}

std::string format_mapping(const platform::AxisMapping& mapping,
                           const std::vector<platform::DeviceAxis>& axes,
                           platform::AxisNaming naming) {
  const platform::MappedReading reading = platform::map_device_axes(axes, mapping, naming);
  std::vector<std::vector<std::string>> rows{
      {"CHANNEL", "AXIS", "INVERTED", "CALIBRATION", "DEAD ZONE"}};
  for (std::size_t i = 0; i < platform::MAPPED_AXIS_COUNT; ++i) {
    const auto channel = static_cast<platform::MappedAxis>(i);
    const platform::AxisSetting& setting = mapping[channel];
    const platform::MappedAxisStatus& status = reading.axes[i];
    std::vector<std::string> row{platform::mapped_axis_key(channel),
                                 status.code < 0 ? "none" : platform::axis_name(naming, status.code),
                                 setting.inverted ? "yes" : "no"};
    if (setting.calibration) {
      row.push_back(std::to_string(setting.calibration->min) + " " +
                    std::to_string(setting.calibration->centre) + " " +
                    std::to_string(setting.calibration->max));
    } else if (const platform::DeviceAxis* axis = find_axis(axes, status.code)) {
      row.push_back("the device's " + limits_text(*axis));
    } else {
      row.push_back("the device's");
    }
    row.push_back(setting.deadzone_percent == 0 ? "none"
                                                : std::to_string(setting.deadzone_percent) + "%");
    if (status.code < 0) {
      row.push_back("the device has no axis for it: reads centred");
    } else if (!status.present) {
      row.push_back("the device has no " + platform::axis_name(naming, status.code) +
                    ": reads centred");
    }
    rows.push_back(row);
  }
  return columns(rows, {});
}

std::string format_axes_frame(const std::string& title,
                              const std::vector<platform::DeviceAxis>& axes,
                              platform::AxisNaming naming) {
  std::size_t name_width = 0, value_width = 0, limits_width = 0;
  for (const platform::DeviceAxis& axis : axes) {
    name_width = std::max(name_width, platform::axis_name(naming, axis.code).size());
    value_width = std::max(value_width, std::to_string(axis.value).size());
    limits_width = std::max(limits_width, limits_text(axis).size());
  }
  std::vector<std::string> rows;
  for (const platform::DeviceAxis& axis : axes) {
    rows.push_back("  " + padded(platform::axis_name(naming, axis.code), name_width) + "  " +
                   right_aligned(std::to_string(axis.value), value_width) + "  " +
                   padded(limits_text(axis), limits_width) + "  [" +
                   format_bar(bar_value(axis), HALF_BAR) + "]");
  }
  return format_terminal_frame(title, rows);
}

std::string format_axes_line(double seconds, const std::vector<platform::DeviceAxis>& axes,
                             platform::AxisNaming naming) {
  std::string line = formatted("%.3f", seconds);
  for (const platform::DeviceAxis& axis : axes) {
    line += " " + platform::axis_name(naming, axis.code) + "=" + std::to_string(axis.value);
  }
  return line + "\n";
}

}  // namespace probe
