#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "client/capture_client.h"

// What capture-probe prints, built as text so that it can be checked without
// a server. Every text that comes from the registry or the wire passes through
// printable() first: a server's name or description must not be able to steer
// the user's terminal.
namespace probe {

// text as an outside text is printed (platform/outside_text.h): controls and
// invalid UTF-8 become \xNN, more than 200 characters are shortened in the
// middle.
std::string printable(const std::string& text);

// printf's text for format and values, cut at 255 characters.
std::string formatted(const char* format, auto... values) {
  char line[256];
  int n = std::snprintf(line, sizeof line, format, values...);
  if (n < 0) return {};
  return std::string(line, std::min(static_cast<std::size_t>(n), sizeof line - 1));
}

// text, filled with spaces to width characters (never cut).
std::string padded(const std::string& text, std::size_t width);

// The registry listing: a header and one line per slot in use (slot, port,
// name, what listens on the port), or a sentence saying that there is none.
// busy_name, when not empty, names a server that runs but has no slot that
// listens: it serves a client, and a line says so instead of "none".
std::string format_registry(const std::vector<client::RegistryEntry>& entries,
                            const std::string& busy_name = {});

// The server information block of `info`.
std::string format_server_info(const client::ServerInfo& info, std::uint16_t port);

// A head real travels as a whole part and millionths, both truncated toward
// zero and so of the same sign: 2 and 500000 is 2.5, 0 and -250000 is -0.25.
std::string format_head_real(std::int32_t whole, std::int32_t millionths);

// What a usage code stands for: "X", "Y", "Thrust", "Rudder", or "code N"
// for a code this program does not know.
std::string usage_name(std::int32_t code);

// The size in bytes of the data block the table describes: per channel with
// values, its index and count words and its values. Counted from the channels,
// so it is the same before the server has built the block as after.
long long data_block_bytes(const client::ChannelInfo& info);

// The channel table of `info`: the channel count and the data block's size,
// then one line per channel (name, usage, value count). raw adds the fields
// as they travel: the table head (record 0), the reply head, and per channel
// its index and usage code.
std::string format_channel_table(const client::ChannelInfo& info, bool raw = false);

// Channel index to name, from a channel table.
std::map<std::int32_t, std::string> channel_names(const client::ChannelInfo& info);

// One value as watch shows it: "%+.6f". Six decimals tell apart any two of
// the joystick's values, which lie 1/65535 apart.
std::string format_value(float value);

// A channel's values joined by commas.
std::string format_values(const std::vector<float>& values);

// The name shown for a channel index: its name in the table, or "#N".
std::string channel_label(const std::map<std::int32_t, std::string>& names, std::int32_t index);

// One line of `watch` on a pipe or file: block number, seconds since the
// first block, then NAME=VALUE for each channel, in block order.
std::string format_data_line(std::uint64_t block, double seconds, const client::DataBlock& data,
                             const std::map<std::int32_t, std::string>& names);

// A bar of 2 * half_width + 1 cells for a value on the scale -0.5 to +0.5:
// '|' marks zero and '#' fills from zero to the value. A value beyond the
// scale fills to the end and shows '<' or '>' there; a value that is not a
// number shows '?' at zero.
std::string format_bar(float value, int half_width);

// A view redrawn in place on a terminal: from the top left corner, the title
// line, an empty line, then the rows. Each line ends by clearing the rest of
// it, and the frame by clearing the rest of the screen, so a shorter redraw
// leaves nothing of the previous one.
std::string format_terminal_frame(const std::string& title, const std::vector<std::string>& rows);

// The redrawn view of `watch` on a terminal (format_terminal_frame): a title line, then per channel
// its name, value and bar (the first value of a channel with several).
std::string format_terminal_view(const std::string& title, const client::DataBlock& data,
                                 const std::map<std::int32_t, std::string>& names);

}  // namespace probe
