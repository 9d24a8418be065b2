#include "tools/probe_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/outside_text.h"
#include "protocol/wire.h"

namespace probe {
namespace {

// Clears from the cursor to the end of the line, then to the end of the screen.
constexpr const char* CLEAR_LINE = "\x1b[K";
constexpr const char* CLEAR_BELOW = "\x1b[J";
constexpr const char* CURSOR_HOME = "\x1b[H";

std::string slot_state_text(const client::RegistryEntry& entry) {
  switch (entry.state) {
    case client::SlotState::SERVING:
      return "serving";
    case client::SlotState::DEAD:
      return "dead";
    case client::SlotState::OTHER_USER:
      return "another user's: " + entry.other_user;
    case client::SlotState::LISTENING:
      return "listening (owner unknown)";
    case client::SlotState::UNKNOWN:
      break;
  }
  return "unknown";
}

}  // namespace

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string printable(const std::string& text) { return platform::printable_outside_text(text); }

std::string format_registry(const std::vector<client::RegistryEntry>& entries,
                            const std::string& busy_name) {
  std::string busy;
  if (!busy_name.empty()) {
    busy = "\"" + printable(busy_name) +
           "\" is busy with a client: it is published again when the session ends.\n";
  }
  if (entries.empty()) return busy.empty() ? "No server is published in the registry.\n" : busy;
  std::size_t name_width = 4;
  for (const client::RegistryEntry& entry : entries) {
    name_width = std::max(name_width, printable(entry.name).size());
  }
  std::string text = "slot  port   " + padded("name", name_width) + "  state\n";
  for (const client::RegistryEntry& entry : entries) {
    text += formatted("%4d  %-5u  ", entry.slot, static_cast<unsigned>(entry.port));
    text += padded(printable(entry.name), name_width) + "  " + slot_state_text(entry) + "\n";
  }
  return text + busy;
}

std::string format_server_info(const client::ServerInfo& info, std::uint16_t port) {
  std::string text;
  text += "Server:       " + printable(info.name) + "\n";
  text += "Version:      " + printable(info.version) + "\n";
  text += "Description:  " + printable(info.description) + "\n";
  text += formatted("Address:      127.0.0.1:%u\n", static_cast<unsigned>(port));
  return text;
}

std::string format_head_real(std::int32_t whole, std::int32_t millionths) {
  bool negative = whole < 0 || millionths < 0;
  auto magnitude = [](std::int32_t v) { return v < 0 ? -static_cast<long long>(v) : v; };
  return formatted("%s%lld.%06lld", negative ? "-" : "", magnitude(whole), magnitude(millionths));
}

std::string usage_name(std::int32_t code) {
  switch (code) {
    case USAGE_X:
      return "X";
    case USAGE_Y:
      return "Y";
    case USAGE_THRUST:
      return "Thrust";
    case USAGE_RUDDER:
      return "Rudder";
    default:
      return "code " + std::to_string(code);
  }
}

long long data_block_bytes(const client::ChannelInfo& info) {
  long long bytes = 0;
  for (std::size_t r = 1; r < info.records.size(); ++r) {
    std::int32_t dims = info.records[r].word14;
    if (dims > 0) bytes += 8 + 4 * static_cast<long long>(dims);
  }
  return bytes;
}

std::string format_channel_table(const client::ChannelInfo& info, bool raw) {
  std::size_t channels = info.records.empty() ? 0 : info.records.size() - 1;
  std::string text = formatted("Channels:     %zu\n", channels);
  text += formatted("Data block:   %lld bytes\n", data_block_bytes(info));
  if (raw) {
    // Record 0 counts its own record; its block size stays 0 until the server
    // builds the block, at the first data request.
    if (!info.records.empty()) {
      const client::ChannelRecordInfo& head = info.records[0];
      text += formatted("Table head:   %d records, capacity %d, data block %d words\n", head.word12,
                        head.word13, head.word14);
    }
    text += "Reply head:   ";
    for (std::size_t i = 0; i < CHANNEL_INFO_REALS; ++i) {
      text += format_head_real(info.whole[i], info.millionths[i]) + " ";
    }
    text += formatted("%u %u\n", info.head_word_a, info.head_word_b);
  }
  if (channels == 0) return text;

  std::size_t name_width = 4, usage_width = 5;
  for (std::size_t r = 1; r < info.records.size(); ++r) {
    name_width = std::max(name_width, printable(info.records[r].name).size());
    usage_width = std::max(usage_width, usage_name(info.records[r].word12).size());
  }
  text += "\n  ";
  if (raw) text += "index  ";
  text += padded("name", name_width) + "  " + padded("usage", usage_width);
  text += raw ? "   code  values\n" : "  values\n";
  for (std::size_t r = 1; r < info.records.size(); ++r) {
    const client::ChannelRecordInfo& record = info.records[r];
    text += "  ";
    if (raw) text += formatted("%5d  ", record.index);
    text += padded(printable(record.name), name_width) + "  ";
    text += padded(usage_name(record.word12), usage_width);
    if (raw) text += formatted("  %5d", record.word12);
    text += formatted("  %6d\n", record.word14);
  }
  return text;
}

std::map<std::int32_t, std::string> channel_names(const client::ChannelInfo& info) {
  std::map<std::int32_t, std::string> names;
  for (std::size_t r = 1; r < info.records.size(); ++r) {
    names[info.records[r].index] = printable(info.records[r].name);
  }
  return names;
}

std::string format_value(float value) { return formatted("%+.6f", static_cast<double>(value)); }

std::string format_values(const std::vector<float>& values) {
  std::string text;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k > 0) text += ",";
    text += format_value(values[k]);
  }
  return text;
}

std::string channel_label(const std::map<std::int32_t, std::string>& names, std::int32_t index) {
  auto found = names.find(index);
  if (found != names.end() && !found->second.empty()) return found->second;
  return "#" + std::to_string(index);
}

std::string format_data_line(std::uint64_t block, double seconds, const client::DataBlock& data,
                             const std::map<std::int32_t, std::string>& names) {
  std::string line = formatted("%llu %.3f", static_cast<unsigned long long>(block), seconds);
  for (const client::ChannelValues& channel : data.channels) {
    line += " " + channel_label(names, channel.index) + "=" + format_values(channel.values);
  }
  return line + "\n";
}

std::string format_bar(float value, int half_width) {
  auto cells = static_cast<std::size_t>(2 * half_width + 1);
  auto centre = static_cast<std::size_t>(half_width);
  std::string bar(cells, ' ');
  bar[centre] = '|';
  if (std::isnan(value)) {
    bar[centre] = '?';
    return bar;
  }
  // The joystick's channels run from -0.5 to +0.5; half the bar is half a unit.
  double reach = static_cast<double>(value) * 2.0 * half_width;
  bool beyond = std::fabs(reach) > half_width;
  auto filled = static_cast<std::size_t>(std::lround(std::min(std::fabs(reach), 1.0 * half_width)));
  for (std::size_t k = 1; k <= filled; ++k) {
    bar[value > 0 ? centre + k : centre - k] = '#';
  }
  if (beyond) bar[value > 0 ? cells - 1 : 0] = value > 0 ? '>' : '<';
  return bar;
}

std::string format_terminal_view(const std::string& title, const client::DataBlock& data,
                                 const std::map<std::int32_t, std::string>& names) {
  constexpr int HALF_BAR = 25;
  std::size_t name_width = 4;
  for (const client::ChannelValues& channel : data.channels) {
    name_width = std::max(name_width, channel_label(names, channel.index).size());
  }
  std::vector<std::string> rows;
  for (const client::ChannelValues& channel : data.channels) {
    float first = channel.values.empty() ? 0.0f : channel.values[0];
    rows.push_back("  " + padded(channel_label(names, channel.index), name_width) + "  " +
                   padded(format_values(channel.values), 10) + "  -0.5 [" +
                   format_bar(first, HALF_BAR) + "] +0.5");
  }
  return format_terminal_frame(title, rows);
}

std::string format_terminal_frame(const std::string& title, const std::vector<std::string>& rows) {
  std::string frame = CURSOR_HOME + title + CLEAR_LINE + "\n" + CLEAR_LINE + "\n";
  for (const std::string& row : rows) frame += row + CLEAR_LINE + "\n";
  return frame + CLEAR_BELOW;
}

}  // namespace probe
