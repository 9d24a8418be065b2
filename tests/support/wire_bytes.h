#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Bytes of the capture protocol as a client writes and reads them, for tests,
// the soak test and the benchmark. Every number is big-endian on the wire.
namespace test_support {

using Bytes = std::vector<unsigned char>;

// A header alone, with its length word given as is (for lengths that lie).
Bytes header(std::uint32_t type, std::uint32_t length);
// A whole message: header (length = payload size) and payload.
Bytes frame(std::uint32_t type, const Bytes& payload = {});
// The big-endian bytes of each word, one after the other.
Bytes words(std::initializer_list<std::uint32_t> values);
// text, then zeros up to size bytes (no terminating zero when it fills the field).
Bytes text_field(const std::string& text, std::size_t size);
Bytes operator+(Bytes a, const Bytes& b);
// A MSG_DIAGNOSTIC message as the server sends it: level and a 256-byte text field.
Bytes diagnostic_message(std::uint32_t level, const std::string& text);

// The big-endian word at offset; 0 where the bytes do not reach.
std::uint32_t word_at(const Bytes& bytes, std::size_t offset);
// The bits of a float, as the word that carries it.
std::uint32_t float_bits(float value);
// "00 00 01 2c ...": readable diffs when bytes differ.
std::string hex(const Bytes& bytes);

}  // namespace test_support
