#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "protocol/codec.h"
#include "protocol/stream_io.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::SocketPair;

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

TEST(StreamIo, ReadWithinATimeOutGetsAllFewerOrNone) {
  SocketPair pair;
  unsigned char got[4];
  errno = 0;
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 50), -1) << "nothing arrives";
  EXPECT_EQ(errno, ETIMEDOUT);

  pair.send({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 1000), 4);
  EXPECT_EQ(std::memcmp(got, "\1\2\3\4", 4), 0);

  pair.close_peer();
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 1000), 2) << "the peer closed after two";
  EXPECT_EQ(recv_all(pair.server(), got, 4), 0);
}

TEST(StreamIo, SendAllSendsEverything) {
  SocketPair pair;
  std::string text(100000, 'q');
  // Larger than a socket pair's buffer: the peer reads while it is sent.
  std::vector<unsigned char> received;
  std::thread reader([&] { received = pair.receive(text.size(), 10000); });
  EXPECT_EQ(send_all(pair.server(), text.data(), static_cast<int>(text.size())),
            static_cast<int>(text.size()));
  reader.join();
  EXPECT_EQ(received.size(), text.size());
}

}  // namespace
