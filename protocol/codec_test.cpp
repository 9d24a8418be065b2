#include "protocol/codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Codec, WordsAreBigEndianOnTheWire) {
  unsigned char bytes[4];
  write_word(bytes, 300);
  EXPECT_EQ(std::memcmp(bytes, "\x00\x00\x01\x2c", 4), 0);
  const unsigned char top_bit[4] = {0x80, 0x00, 0x00, 0x01};
  EXPECT_EQ(read_word(top_bit), 0x80000001u);
}

TEST(Codec, TextFieldsAreZeroFilledAndMayLackATerminator) {
  char field[8];
  std::memset(field, 'x', sizeof field);
  copy_text_field(field, sizeof field, "abc");
  EXPECT_EQ(std::memcmp(field, "abc\0\0\0\0\0", 8), 0);
  copy_text_field(field, sizeof field, "abcdefghij");
  EXPECT_EQ(std::memcmp(field, "abcdefgh", 8), 0) << "cut at the field, no terminator";

  const unsigned char full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(read_text_field(full, sizeof full), "wxyz") << "never reads past the field";
  const unsigned char short_text[4] = {'a', 0, 'b', 0};
  EXPECT_EQ(read_text_field(short_text, sizeof short_text), "a");
}

}  // namespace
