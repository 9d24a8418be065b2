#include "tests/support/wire_bytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/net.h"

namespace test_support {

Bytes header(std::uint32_t type, std::uint32_t length) { return words({type, length}); }

Bytes frame(std::uint32_t type, const Bytes& payload) {
  return header(type, static_cast<std::uint32_t>(payload.size())) + payload;
}

Bytes words(std::initializer_list<std::uint32_t> values) {
  Bytes bytes;
  for (std::uint32_t value : values) {
    std::uint32_t net = htonl(value);
    auto* p = reinterpret_cast<unsigned char*>(&net);
    bytes.insert(bytes.end(), p, p + 4);
  }
  return bytes;
}

Bytes text_field(const std::string& text, std::size_t size) {
  Bytes field(size, 0);
  std::memcpy(field.data(), text.data(), std::min(size, text.size()));
  return field;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::uint32_t word_at(const Bytes& bytes, std::size_t offset) {
  std::uint32_t net = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&net, bytes.data() + offset, 4);
  return ntohl(net);
}

std::uint32_t float_bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x ", byte);
    text += digits;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

Bytes diagnostic_message(std::uint32_t level, const std::string& text) {
  return frame(0, words({level}) + text_field(text, 256));
}

}  // namespace test_support
