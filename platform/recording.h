#pragma once

// A recorded performance of joystick 0, as `capture-probe record` writes it:
// CSV with a header naming the columns ("seconds" and the server's channel
// names X, Y, Rudder and Thrust, in any order, other columns ignored), then
// one row per reading: the seconds since the first reading and each
// channel's float value.
//
// The file comes from outside: it is read only when it is a regular file
// (opened without waiting) of at most RECORDING_MAX_BYTES, and every fault
// is a reason with the line it is on, never a crash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/joystick_device.h"

namespace platform {

// A performance of an hour at a thousand readings a second fits.
inline constexpr std::size_t RECORDING_MAX_BYTES = 64u * 1024 * 1024;
// A line needs the five columns and whatever else a tool adds beside them;
// more fields than this is no recording.
inline constexpr std::size_t RECORDING_MAX_FIELDS = 1024;
// About 31 years: any performance fits, and its times stay well inside the
// nanoseconds a 64-bit clock holds (about 292 years).
inline constexpr double RECORDING_MAX_SECONDS = 1e9;

// The raw position whose channel value is value: round-to-nearest(value *
// 65535 + 32767.5), clamped to 0..65535. The exact inverse for every value
// the server serves (channel_value of every position), the nearest position
// for any other.
std::uint32_t position_of_channel_value(float value);

struct Recording {
  struct Row {
    double seconds;      // since the recording's start, never decreasing
    JoystickState state;  // no buttons: the wire carries none
  };
  std::vector<Row> rows;  // at least one
  // When the performance starts again: the last row's time plus the median
  // interval between rows. 0 for a single row at 0 s, which holds for ever.
  double length = 0.0;

  // The reading at `seconds` since the start: the last row at or before
  // that time (values hold, no interpolation), looping over length; before
  // the first row's time, the first row.
  const JoystickState& state_at(double seconds) const;
  // The time after `seconds` at which state_at next changes rows, within the
  // same pass or the next; a negative number when it never does.
  double next_change_after(double seconds) const;
};

// Parses a recording's text into *recording: empty, or the reason it is
// none ("line 7: 3 fields where the header has 5", "line 1: more than 1024
// fields", "line 9: the seconds are more than 1000000000").
std::string parse_recording(std::string_view text, Recording* recording);

// Reads and parses the recording in the file at path: empty, or the reason
// it could not ("it is a directory, not a regular file", "it is larger than
// 64 MiB", "line 7: ...").
std::string read_recording(const std::string& path, Recording* recording);

}  // namespace platform
