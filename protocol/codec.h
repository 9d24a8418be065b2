#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The protocol's primitive fields, stateless: big-endian words and fixed-size
// text fields, read from and written to raw message bytes.

// The big-endian word at at.
std::uint32_t read_word(const unsigned char* at);
// The word at at as the sender held it (fields that travel unconverted).
std::uint32_t read_host_word(const unsigned char* at);
// Writes value as a big-endian word at at.
void write_word(unsigned char* at, std::uint32_t value);

// Fills a fixed-size text field of a message or record: the text up to its
// terminating zero, at most size bytes, then zeros to the end of the field. A
// text as long as the field fills it without a terminating zero.
void copy_text_field(char* field, std::size_t size, const char* text);
// The text of a field: up to its first zero, at most size bytes.
std::string read_text_field(const unsigned char* field, std::size_t size);
