#pragma once

// Which device axis feeds each of the four channels, turned or not, and how
// its raw values become a position 0..65535: the user's mapping, calibration
// and dead zone from the settings file, and the one exact rule every reader
// applies, so that every client sees the same numbers.
//
// Keys of the settings file (the channel's key, then its axis):
//   x = [-]AXIS            rudder = ..., y = ..., thrust = ...   ('-': inverted)
//   x.calibration = MIN CENTRE MAX      (integers in the device's own units)
//   x.deadzone = PERCENT                (0 to 50; 0 counts as unset)
// AXIS is an evdev absolute axis name on Linux ("ABS_RX", case ignored) and
// one of the multimedia joystick's axes X, Y, Z, R, U, V on Windows.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The four channels' axes, in the order the channels are served.
enum class MappedAxis { X = 0, Y = 1, RUDDER = 2, THRUST = 3 };
inline constexpr std::size_t MAPPED_AXIS_COUNT = 4;
inline constexpr MappedAxis MAPPED_AXES[MAPPED_AXIS_COUNT] = {MappedAxis::X, MappedAxis::Y,
                                                              MappedAxis::RUDDER, MappedAxis::THRUST};

// "x", "y", "rudder", "thrust": the keys naming a channel's axis.
const char* mapped_axis_key(MappedAxis axis);

// How the names of AXIS are read: evdev's ABS_ names with their codes, or the
// multimedia joystick's letters with 0 to 5 for X, Y, Z, R, U, V.
enum class AxisNaming { EVDEV, MULTIMEDIA };

// The multimedia joystick's axes' letters, in the order of their codes.
inline constexpr char MULTIMEDIA_AXIS_LETTERS[] = "XYZRUV";
inline constexpr std::size_t MULTIMEDIA_AXIS_COUNT = sizeof MULTIMEDIA_AXIS_LETTERS - 1;

// The axis code of a name (case ignored), or nullopt for a name that is no axis.
std::optional<int> axis_code_from_name(AxisNaming naming, std::string_view name);
// The name of an axis code ("ABS_RX", "Z"); "axis N" for a code without a name.
std::string axis_name(AxisNaming naming, int code);

// MIN < CENTRE < MAX, in the device's own units.
struct AxisCalibration {
  std::int32_t min;
  std::int32_t centre;
  std::int32_t max;
  bool operator==(const AxisCalibration&) const = default;
};

// What the settings say about one channel's axis.
struct AxisSetting {
  std::optional<int> code;  // the axis; nullopt: the default mapping's
  bool inverted = false;
  std::optional<AxisCalibration> calibration;  // nullopt: the device's limits
  int deadzone_percent = 0;                    // 0 to 50
  bool operator==(const AxisSetting&) const = default;
};

// The settings for the four channels, indexed by MappedAxis. The default
// (nothing set) is the fixed mapping, scaled as without settings.
struct AxisMapping {
  std::array<AxisSetting, MAPPED_AXIS_COUNT> axes{};
  AxisSetting& operator[](MappedAxis axis) { return axes[static_cast<std::size_t>(axis)]; }
  const AxisSetting& operator[](MappedAxis axis) const {
    return axes[static_cast<std::size_t>(axis)];
  }
  bool operator==(const AxisMapping&) const = default;
};

// A line of the settings file that could not be understood and was ignored.
struct SettingProblem {
  int line;         // 1-based
  std::string why;  // for people: "x.deadzone must be a whole number from 0 to 50"
  bool operator==(const SettingProblem&) const = default;
};

// The axis keys of a settings file's text; every other key is left alone.
// The last good line of a key wins; each bad one is added to *problems.
AxisMapping parse_axis_mapping(std::string_view settings_text, AxisNaming naming,
                               std::vector<SettingProblem>* problems);

inline constexpr std::uint32_t AXIS_SCALE_MAX = 65535;
inline constexpr std::uint32_t AXIS_SCALE_CENTRE = 32767;

// value scaled from minimum..maximum to 0..65535, rounded to nearest (halves
// up) and clamped: how an axis without calibration or dead zone is read. An
// axis without a usable range (maximum not above minimum) reads AXIS_SCALE_CENTRE.
std::uint32_t scale_axis(std::int32_t value, std::int32_t minimum, std::int32_t maximum);

// The position 0..65535 served for raw value `value` of an axis whose device
// limits are device_min..device_max, under setting (its code is not looked at).
// Without calibration and dead zone it is scale_axis's position; otherwise the
// exact rational rule with rounding to nearest, halves up. Inverted: 65535 - s,
// but 32767 stays 32767.
std::uint32_t mapped_position(std::int32_t value, std::int32_t device_min, std::int32_t device_max,
                              const AxisSetting& setting);

// The mapping of the settings file at path (settings_file_path() for the
// user's), with the lines it ignores; *refused says why the file was not read
// ("it is a FIFO, ..."; empty when it was, or when there is none).
AxisMapping read_axis_mapping(const std::string& path, AxisNaming naming,
                              std::vector<SettingProblem>* problems, std::string* refused);

// The user's mapping as one reader sees it: read from the settings file at
// the first call, then again at most once a second (a steady clock), so a
// changed file applies within a second without a restart. Each reader (the
// server's sampling, the window) has its own; nothing is shared between
// threads but the once-per-process reports: each problem line is said once
// on standard error, naming the file, the line and why.
class AxisMappingFile {
 public:
  using Clock = std::chrono::steady_clock;
  explicit AxisMappingFile(AxisNaming naming);
  // The mapping in force at now: the preview while there is one (the file is
  // not read then), else the file's.
  const AxisMapping& current(Clock::time_point now);
  // Until called with nullopt, current gives mapping in place of the file's:
  // the window's bars follow a mapping being edited before it is saved.
  void preview(std::optional<AxisMapping> mapping) { m_preview = std::move(mapping); }
  // The next current() reads the file, however recently it did (the preview stays).
  void read_again() { m_read = false; }

 private:
  AxisNaming m_naming;
  bool m_read = false;
  Clock::time_point m_last{};
  AxisMapping m_mapping;
  std::optional<AxisMapping> m_preview;
};

// One absolute axis of a device as it is now, for listings and calibration.
struct DeviceAxis {
  int code;  // as axis_code_from_name gives it
  std::int32_t min;
  std::int32_t max;
  std::int32_t flat;  // 0 where the system does not tell
  std::int32_t fuzz;
  std::int32_t value;
  bool operator==(const DeviceAxis&) const = default;
};

// The device's axis with code, or nullptr (also for -1, no axis at all).
const DeviceAxis* find_device_axis(const std::vector<DeviceAxis>& axes, int code);

// Which axis feeds a channel at one reading, for the window and the listings.
struct MappedAxisStatus {
  int code = -1;         // -1: the device has no axis the default mapping could use
  bool present = false;  // the device has that axis; false: it reads centred
  bool operator==(const MappedAxisStatus&) const = default;
};

// The four positions of one reading and the axes behind them.
struct MappedReading {
  std::array<std::uint32_t, MAPPED_AXIS_COUNT> positions{};  // indexed by MappedAxis
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> axes{};
};

// The default mapping's axis code for a channel among the device's axes
// (evdev: ABS_X, ABS_Y, ABS_RUDDER else ABS_RZ, ABS_THROTTLE else ABS_Z;
// multimedia: X, Y, R, Z), or -1 when the device has none of them.
int default_axis_code(AxisNaming naming, MappedAxis axis, const std::vector<DeviceAxis>& axes);

// The axis code each channel reads under mapping among the device's axes
// (indexed by MappedAxis; -1 where the default mapping finds none). Only
// these need reading anew for a reading.
std::array<int, MAPPED_AXIS_COUNT> mapped_axis_codes(const std::vector<DeviceAxis>& axes,
                                                     const AxisMapping& mapping, AxisNaming naming);

// The reading of the four channels from the device's axes as read now under
// mapping: a channel whose axis the device lacks reads 32767.
MappedReading map_device_axes(const std::vector<DeviceAxis>& axes, const AxisMapping& mapping,
                              AxisNaming naming);
// The same with codes as mapped_axis_codes gives them for axes and mapping,
// for a reader that has them already (it asked the device for those axes).
MappedReading map_device_axes(const std::vector<DeviceAxis>& axes, const AxisMapping& mapping,
                              const std::array<int, MAPPED_AXIS_COUNT>& codes);

}  // namespace platform
