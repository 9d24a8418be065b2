#include "tools/probe_csv.h"

#include "tools/probe_format.h"

namespace probe {

std::string csv_field(const std::string& text) {
  const bool plain = text.find_first_of(",\"\r\n") == std::string::npos &&
                     (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return text;
  std::string field = "\"";
  for (char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + "\"";
}

std::string format_csv_header(const client::DataBlock& data,
                              const std::map<std::int32_t, std::string>& names) {
  std::string line = "seconds";
  for (const client::ChannelValues& channel : data.channels) {
    const std::string name = channel_label(names, channel.index);
    for (std::size_t k = 0; k < channel.values.size(); ++k) {
      line += "," + csv_field(channel.values.size() == 1
                                  ? name
                                  : name + "[" + std::to_string(k) + "]");
    }
  }
  return line + "\n";
}

std::string format_csv_row(double seconds, const client::DataBlock& data) {
  std::string line = formatted("%.6f", seconds);
  for (const client::ChannelValues& channel : data.channels) {
    for (float value : channel.values) line += "," + formatted("%.9g", static_cast<double>(value));
  }
  return line + "\n";
}

bool same_layout(const client::DataBlock& a, const client::DataBlock& b) {
  if (a.channels.size() != b.channels.size()) return false;
  for (std::size_t i = 0; i < a.channels.size(); ++i) {
    if (a.channels[i].index != b.channels[i].index ||
        a.channels[i].values.size() != b.channels[i].values.size()) {
      return false;
    }
  }
  return true;
}

}  // namespace probe
