#include "tests/support/expected_replies.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/error_text.h"

namespace test_support {
namespace {

const std::string SERVER_PREFIX = "Orvandelcaster: ";

// A word that a channel record carries as held in the server's memory.
Bytes host_word(std::uint32_t value) {
  Bytes word(4);
  std::memcpy(word.data(), &value, 4);
  return word;
}

Bytes channel_record(std::int32_t index, std::int32_t parent, std::int32_t first_child,
                     std::int32_t next_sibling, const std::string& name, std::int32_t word12,
                     std::int32_t word13, std::int32_t word14, std::uint32_t word16) {
  auto word = [](std::int32_t v) { return words({static_cast<std::uint32_t>(v)}); };
  return word(index) + word(parent) + word(first_child) + word(next_sibling) +
         text_field(name, 32) + word(word12) + word(word13) + word(word14) + host_word(0) +
         host_word(word16) + host_word(0) + host_word(0) + host_word(0) + host_word(0);
}

}  // namespace

Bytes identify_reply() { return frame(1, words({1})); }

Bytes version_reply() { return frame(2, words({300}) + words({0})); }

Bytes server_info_reply() {
  return frame(3, text_field("Orvandelcaster", 64) + text_field("1.0", 16) +
                      text_field("Orvandelcaster capture server - v1.0", 256));
}

Bytes unknown_command_reply() {
  return diagnostic_message(3, "Orvandelcaster: Unknown server command.");
}

Bytes version_mismatch_reply(int client_version) {
  return diagnostic_message(3, "Orvandelcaster: Protocol mismatch: client = " +
                                   std::to_string(client_version) + ", server = 300\n");
}

Bytes channel_info_reply(bool block_built) {
  // Three reals of 0.0 as whole and millionths, 0x80000, 1, and five records.
  Bytes body = words({0}) + words({0}) + words({0}) + words({0}) + words({0}) + words({0}) +
               words({524288}) + words({1}) + words({5});
  // Record 0 heads the table: record count 5, capacity 200, block length in words.
  body = body + channel_record(0, -1, 1, -1, "", 5, 200, block_built ? 12 : 0, block_built ? 1 : 0);
  struct Channel {
    const char* name;
    std::int32_t usage;
  };
  const Channel channels[4] = {{"X", 3}, {"Y", 4}, {"Rudder", 7}, {"Thrust", 5}};
  for (std::int32_t i = 1; i <= 4; ++i) {
    const Channel& channel = channels[i - 1];
    // Once the block exists, the data word is the offset of the channel's value in it.
    std::uint32_t data_offset = block_built ? static_cast<std::uint32_t>(8 + 12 * (i - 1)) : 0;
    body = body + channel_record(i, 0, -1, i < 4 ? i + 1 : -1, channel.name, channel.usage, 0, 1,
                                 data_offset);
  }
  return frame(4, body);
}

Bytes centred_data_reply() {
  // (32767 - 32767.5) / 65535 as a float: the bits of a centred axis.
  const Bytes centred = words({0xb7000080});
  Bytes body;
  for (std::uint32_t index = 1; index <= 4; ++index)
    body = body + words({index}) + words({1}) + centred;
  return frame(5, body);
}

std::string error_line(int error) {
  return SERVER_PREFIX + platform::error_text_or_number(error) + "\n";
}

int error_line_errno(const std::string& text) {
  if (text.size() < SERVER_PREFIX.size() + 1 ||
      text.compare(0, SERVER_PREFIX.size(), SERVER_PREFIX) != 0 || text.back() != '\n' ||
      text.find('\n') != text.size() - 1) {
    return 0;
  }
  std::string reason = text.substr(SERVER_PREFIX.size(), text.size() - SERVER_PREFIX.size() - 1);
  // The cause comes last, after what failed: "<what>: <text for errno>".
  for (int error = 1; error < 4096; ++error) {
    const char* known = platform::error_text(error);
    if (!known) continue;
    std::string tail = known;
    if (reason == tail) return error;
    if (reason.size() > tail.size() + 2 &&
        reason.compare(reason.size() - tail.size() - 2, std::string::npos, ": " + tail) == 0) {
      return error;
    }
  }
  return 0;
}

bool is_error_line(const std::string& text) { return error_line_errno(text) != 0; }

int count_error_lines(const std::string& text) {
  int lines = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos || !is_error_line(text.substr(start, end + 1 - start))) return -1;
    ++lines;
    start = end + 1;
  }
  return lines;
}

}  // namespace test_support
