#include "protocol/codec.h"

#include <arpa/inet.h>

#include <cstring>

std::uint32_t read_word(const unsigned char* at) { return ntohl(read_host_word(at)); }

std::uint32_t read_host_word(const unsigned char* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void write_word(unsigned char* at, std::uint32_t value) {
  std::uint32_t net = htonl(value);
  std::memcpy(at, &net, sizeof net);
}

void copy_text_field(char* field, std::size_t size, const char* text) {
  std::size_t length = ::strnlen(text, size);
  std::memcpy(field, text, length);
  std::memset(field + length, 0, size - length);
}

std::string read_text_field(const unsigned char* field, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, ::strnlen(text, size));
}
