#include "platform/recording.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/settings_file.h"

namespace platform {
namespace {

constexpr char SECONDS_COLUMN[] = "seconds";
// The server's channels and the axis each one is read from.
struct ChannelColumn {
  const char* name;
  MappedAxis axis;
};
constexpr std::array<ChannelColumn, 4> CHANNEL_COLUMNS{{{"X", MappedAxis::X},
                                                        {"Y", MappedAxis::Y},
                                                        {"Rudder", MappedAxis::RUDDER},
                                                        {"Thrust", MappedAxis::THRUST}}};

constexpr char UNCLOSED_QUOTE[] = "a quoted field is not closed properly";

std::string at_line(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// The fields of one CSV line into *fields (whose storage is reused from line
// to line); a quoted field may hold commas and doubled quotes. Returns why
// the line cannot be split, or empty. A line of more fields than any
// recording needs is refused before each gets its own string: a file of
// commas must not cost a string per byte.
std::string split_fields(std::string_view line, std::vector<std::string>* fields) {
  fields->clear();
  fields->emplace_back();
  std::size_t i = 0;
  while (i <= line.size()) {
    std::string& field = fields->back();
    if (i < line.size() && line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) return UNCLOSED_QUOTE;
        if (line[i] != '"') {
          field += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      if (i < line.size() && line[i] != ',') return UNCLOSED_QUOTE;
    } else {
      const std::size_t end = std::min(line.find(',', i), line.size());
      field.append(line.substr(i, end - i));
      i = end;
    }
    if (i >= line.size()) break;
    ++i;  // the comma
    if (fields->size() == RECORDING_MAX_FIELDS)
      return "more than " + std::to_string(RECORDING_MAX_FIELDS) + " fields";
    fields->emplace_back();
  }
  return {};
}

// The whole of text as a finite number of type T, or nullopt.
template <typename T>
std::optional<T> parse_number(const std::string& text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

double median_interval(const std::vector<Recording::Row>& rows) {
  std::vector<double> intervals;
  for (std::size_t i = 1; i < rows.size(); ++i)
    intervals.push_back(rows[i].seconds - rows[i - 1].seconds);
  if (intervals.empty()) return 0.0;
  std::sort(intervals.begin(), intervals.end());
  const std::size_t middle = intervals.size() / 2;
  return intervals.size() % 2 ? intervals[middle] : (intervals[middle - 1] + intervals[middle]) / 2;
}

}  // namespace

std::uint32_t position_of_channel_value(float value) {
  // Exact in double: a float times a 16-bit number needs at most 40 bits.
  // Rounding half up, floor(scaled + 32767.5 + 0.5) is floor(scaled) + 32768;
  // adding the halves in double would round a tiny scaled value away.
  const double scaled = static_cast<double>(value) * 65535.0;
  const double position = std::floor(scaled) + 32768.0;
  return static_cast<std::uint32_t>(std::clamp(position, 0.0, 65535.0));
}

const JoystickState& Recording::state_at(double seconds) const {
  if (length > 0.0 && seconds >= length) seconds = std::fmod(seconds, length);
  auto after = std::upper_bound(rows.begin(), rows.end(), seconds,
                                [](double time, const Row& row) { return time < row.seconds; });
  return after == rows.begin() ? rows.front().state : std::prev(after)->state;
}

double Recording::next_change_after(double seconds) const {
  const double into_pass = length > 0.0 ? std::fmod(seconds, length) : seconds;
  const double pass_start = seconds - into_pass;
  auto next = std::upper_bound(rows.begin(), rows.end(), into_pass,
                               [](double time, const Row& row) { return time < row.seconds; });
  if (next != rows.end()) return pass_start + next->seconds;
  return length > 0.0 ? pass_start + length : -1.0;
}

std::string parse_recording(std::string_view text, Recording* recording) {
  recording->rows.clear();
  recording->length = 0.0;
  std::size_t line_number = 0;
  std::size_t seconds_field = 0;
  std::array<std::size_t, CHANNEL_COLUMNS.size()> channel_fields{};
  std::size_t field_count = 0;
  std::vector<std::string> fields;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const std::string unsplit = split_fields(line, &fields);
    if (!unsplit.empty()) return at_line(line_number, unsplit);

    if (field_count == 0) {  // the header
      auto column = [&](const char* name, std::size_t* index) -> std::string {
        auto found = std::find(fields.begin(), fields.end(), name);
        if (found == fields.end())
          return at_line(line_number, std::string("the header has no column \"") + name + "\"");
        if (std::find(found + 1, fields.end(), name) != fields.end())
          return at_line(line_number, std::string("the header has two columns \"") + name + "\"");
        *index = static_cast<std::size_t>(found - fields.begin());
        return {};
      };
      std::string fault = column(SECONDS_COLUMN, &seconds_field);
      for (std::size_t c = 0; fault.empty() && c < CHANNEL_COLUMNS.size(); ++c)
        fault = column(CHANNEL_COLUMNS[c].name, &channel_fields[c]);
      if (!fault.empty()) return fault;
      field_count = fields.size();
      continue;
    }

    if (fields.size() != field_count) {
      return at_line(line_number, std::to_string(fields.size()) +
                                      " fields where the header has " +
                                      std::to_string(field_count));
    }
    std::optional<double> seconds = parse_number<double>(fields[seconds_field]);
    if (!seconds || *seconds < 0.0)
      return at_line(line_number, "the seconds are not a number of 0 or more");
    if (*seconds > RECORDING_MAX_SECONDS)
      return at_line(line_number, "the seconds are more than " +
                                      std::to_string(static_cast<long long>(RECORDING_MAX_SECONDS)));
    if (!recording->rows.empty() && *seconds < recording->rows.back().seconds)
      return at_line(line_number, "the seconds are less than the line before's");
    Recording::Row row{*seconds, CENTRED_STATE};
    for (std::size_t c = 0; c < CHANNEL_COLUMNS.size(); ++c) {
      std::optional<float> value = parse_number<float>(fields[channel_fields[c]]);
      if (!value)
        return at_line(line_number, std::string("the ") + CHANNEL_COLUMNS[c].name +
                                        " value is not a number");
      axis_of(row.state, CHANNEL_COLUMNS[c].axis) = position_of_channel_value(*value);
    }
    row.state.buttons = 0;
    recording->rows.push_back(row);
  }
  if (field_count == 0) return "it has no header line";
  if (recording->rows.empty()) return "it has no reading after the header";
  recording->length = recording->rows.back().seconds + median_interval(recording->rows);
  return {};
}

std::string read_recording(const std::string& path, Recording* recording) {
  recording->rows.clear();
  recording->length = 0.0;
  if (path.empty()) return "no file is named after \"replay:\"";
  std::string text;
  std::string refusal = read_bounded_file(path, RECORDING_MAX_BYTES, &text);
  if (!refusal.empty()) return refusal;
  return parse_recording(text, recording);
}

}  // namespace platform
