#include "server_core/channels.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "server_core/framing.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::float_bits;
using test_support::SocketPair;
using test_support::word_at;

// The body of the message the server sends, after checking its header.
std::vector<unsigned char> sent_body(SocketPair& pair, std::uint32_t type) {
  std::vector<unsigned char> bytes = pair.pending();
  EXPECT_GE(bytes.size(), 8u);
  if (bytes.size() < 8) return {};
  EXPECT_EQ(word_at(bytes, 0), type);
  EXPECT_EQ(word_at(bytes, 4), bytes.size() - 8);
  return std::vector<unsigned char>(bytes.begin() + 8, bytes.end());
}

std::vector<unsigned char> channel_info_body(float r1 = 0, float r2 = 0, float r3 = 0) {
  SocketPair pair;
  EXPECT_GT(send_channel_info(pair.server(), r1, r2, r3, 0x80000, 1), 0);
  return sent_body(pair, MSG_CHANNEL_INFO);
}

std::vector<unsigned char> data_block_body() {
  SocketPair pair;
  EXPECT_GE(send_data_block(pair.server()), 0);
  return sent_body(pair, MSG_DATA);
}

// Word w of record r in a MSG_CHANNEL_INFO body, big-endian or as held.
std::uint32_t record_word(const std::vector<unsigned char>& body, std::size_t r, std::size_t w) {
  return word_at(body, 36 + 84 * r + 4 * w);
}
std::uint32_t record_host_word(const std::vector<unsigned char>& body, std::size_t r,
                               std::size_t w) {
  std::uint32_t value;
  std::memcpy(&value, body.data() + 36 + 84 * r + 4 * w, 4);
  return value;
}
std::string record_name(const std::vector<unsigned char>& body, std::size_t r) {
  return std::string(reinterpret_cast<const char*>(body.data() + 36 + 84 * r + 16), 32);
}

void define_joystick_like_channels(ChannelRecord* out[4]) {
  out[0] = define_channel("X", 3, 1);
  out[1] = define_channel("Y", 4, 1);
  out[2] = define_channel("Rudder", 7, 1);
  out[3] = define_channel("Thrust", 5, 1);
}

TEST(ChannelTable, AbsentTableFailsWithEnoent) {
  SocketPair pair;
  errno = 0;
  EXPECT_EQ(send_channel_info(pair.server(), 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(send_data_block(pair.server()), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(pair.pending().empty());
}

TEST(ChannelTable, OpenTableDescribesEveryRecordBeforeAnyStore) {
  ChannelRecord* channels[4];
  define_joystick_like_channels(channels);
  std::vector<unsigned char> body = channel_info_body();
  ASSERT_EQ(body.size(), 456u);
  for (std::size_t w = 0; w < 6; ++w) EXPECT_EQ(word_at(body, 4 * w), 0u) << "head word " << w;
  EXPECT_EQ(word_at(body, 24), 524288u);
  EXPECT_EQ(word_at(body, 28), 1u);
  EXPECT_EQ(word_at(body, 32), 5u);

  // Record 0, the table header.
  EXPECT_EQ(record_word(body, 0, 0), 0u);
  EXPECT_EQ(record_word(body, 0, 1), 0xFFFFFFFFu);
  EXPECT_EQ(record_word(body, 0, 2), 1u);
  EXPECT_EQ(record_word(body, 0, 3), 0xFFFFFFFFu);
  EXPECT_EQ(record_name(body, 0), std::string(32, '\0'));
  EXPECT_EQ(record_word(body, 0, 12), 5u);
  EXPECT_EQ(record_word(body, 0, 13), 200u);
  EXPECT_EQ(record_word(body, 0, 14), 0u);
  for (std::size_t w = 15; w <= 20; ++w) EXPECT_EQ(record_host_word(body, 0, w), 0u) << w;

  const char* names[] = {"X", "Y", "Rudder", "Thrust"};
  const std::uint32_t usages[] = {3, 4, 7, 5};
  for (std::size_t r = 1; r <= 4; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    EXPECT_EQ(record_word(body, r, 0), r);
    EXPECT_EQ(record_word(body, r, 1), 0u);
    EXPECT_EQ(record_word(body, r, 2), 0xFFFFFFFFu);
    EXPECT_EQ(record_word(body, r, 3), r < 4 ? r + 1 : 0xFFFFFFFFu);
    std::string name = names[r - 1];
    EXPECT_EQ(record_name(body, r), name + std::string(32 - name.size(), '\0'));
    EXPECT_EQ(record_word(body, r, 12), usages[r - 1]);
    EXPECT_EQ(record_word(body, r, 13), 0u);
    EXPECT_EQ(record_word(body, r, 14), 1u);
    for (std::size_t w = 15; w <= 20; ++w) EXPECT_EQ(record_host_word(body, r, w), 0u) << w;
  }

  SocketPair pair;
  errno = 0;
  EXPECT_EQ(send_data_block(pair.server()), -1);
  EXPECT_EQ(errno, EINVAL);
}

TEST(ChannelTable, FirstStoreBuildsTheBlockInWireForm) {
  ChannelRecord* channels[4];
  define_joystick_like_channels(channels);
  const float values[4] = {0.25f, -0.5f, 1.5f, -0.0f};
  for (int i = 0; i < 4; ++i) ASSERT_EQ(store_channel_data(channels[i], &values[i]), 0);

  std::vector<unsigned char> block = data_block_body();
  ASSERT_EQ(block.size(), 48u);
  for (std::uint32_t c = 0; c < 4; ++c) {
    EXPECT_EQ(word_at(block, 12 * c), c + 1);
    EXPECT_EQ(word_at(block, 12 * c + 4), 1u);
    EXPECT_EQ(word_at(block, 12 * c + 8), float_bits(values[c]));
  }
  std::vector<unsigned char> body = channel_info_body();
  EXPECT_EQ(record_word(body, 0, 14), 12u) << "block_words";
  EXPECT_EQ(record_host_word(body, 0, 16), 1u) << "record 0 says the block exists, no address";
  for (std::size_t r = 1; r <= 4; ++r) {
    EXPECT_EQ(record_host_word(body, r, 16), 8 + 12 * (r - 1)) << "offset of channel " << r;
  }
}

TEST(ChannelTable, EveryStoreRewritesOnlyItsChannel) {
  ChannelRecord* channels[4];
  define_joystick_like_channels(channels);
  const float first[4] = {1, 2, 3, 4};
  for (int i = 0; i < 4; ++i) store_channel_data(channels[i], &first[i]);
  const float changed = -7.0f;
  ASSERT_EQ(store_channel_data(channels[2], &changed), 0);
  std::vector<unsigned char> block = data_block_body();
  EXPECT_EQ(word_at(block, 8), float_bits(1));
  EXPECT_EQ(word_at(block, 20), float_bits(2));
  EXPECT_EQ(word_at(block, 32), float_bits(-7.0f));
  EXPECT_EQ(word_at(block, 44), float_bits(4));
}

TEST(ChannelTable, ClosedToDefinitionsAfterTheFirstStore) {
  ChannelRecord* channel = define_channel("A", 1, 1);
  const float value = 1;
  ASSERT_EQ(store_channel_data(channel, &value), 0);
  errno = 0;
  EXPECT_EQ(define_channel("B", 2, 1), nullptr);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(word_at(channel_info_body(), 32), 2u) << "the table is unchanged";
}

TEST(ChannelTable, NullChannelOrValuesDoNothing) {
  ChannelRecord* channel = define_channel("A", 1, 1);
  const float value = 1;
  EXPECT_EQ(store_channel_data(nullptr, &value), 0);
  EXPECT_EQ(store_channel_data(channel, nullptr), 0);
  SocketPair pair;
  errno = 0;
  EXPECT_EQ(send_data_block(pair.server()), -1) << "no block was built";
  EXPECT_EQ(errno, EINVAL);
  EXPECT_NE(define_channel("B", 2, 1), nullptr) << "the table is still open";
}

TEST(ChannelTable, ChannelWithoutValuesHasNoEntry) {
  ChannelRecord* first = define_channel("A", 1, 1);
  ChannelRecord* empty = define_channel("none", 2, 0);
  ChannelRecord* last = define_channel("B", 3, 2);
  const float values[2] = {5, 6};
  ASSERT_EQ(store_channel_data(first, values), 0);
  errno = 0;
  EXPECT_EQ(store_channel_data(empty, values), -1);
  EXPECT_EQ(errno, EISDIR);
  ASSERT_EQ(store_channel_data(last, values), 0);

  std::vector<unsigned char> block = data_block_body();
  EXPECT_EQ(block, test_support::words({1, 1, float_bits(5), 3, 2, float_bits(5), float_bits(6)}));
  std::vector<unsigned char> body = channel_info_body();
  EXPECT_EQ(record_host_word(body, 2, 16), 0u) << "no values, no offset";
  EXPECT_EQ(record_host_word(body, 3, 16), 20u);
}

TEST(ChannelTable, TableWithoutValuesHasAnEmptyBlock) {
  ChannelRecord* channel = define_channel("none", 1, 0);
  const float value = 1;
  EXPECT_EQ(store_channel_data(channel, &value), -1);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(record_word(channel_info_body(), 0, 14), 0u);
  SocketPair pair;
  EXPECT_EQ(send_data_block(pair.server()), 0);
  EXPECT_EQ(pair.pending(), test_support::header(MSG_DATA, 0));
}

TEST(ChannelTable, NamesAreCutAt32BytesWithoutATerminator) {
  std::string name31(31, 'a'), name32(32, 'b'), name40(40, 'c');
  define_channel(name31.c_str(), 1, 1);
  define_channel(name32.c_str(), 1, 1);
  define_channel(name40.c_str(), 1, 1);
  std::vector<unsigned char> body = channel_info_body();
  EXPECT_EQ(record_name(body, 1), name31 + '\0');
  EXPECT_EQ(record_name(body, 2), name32);
  EXPECT_EQ(record_name(body, 3), std::string(32, 'c'));
  EXPECT_EQ(record_word(body, 3, 12), 1u) << "the usage after the name is intact";
}

TEST(ChannelTable, GrowsBy200RecordsKeepingTheContent) {
  ChannelRecord* first = nullptr;
  for (int i = 1; i <= 199; ++i) {
    ChannelRecord* channel = define_channel(("c" + std::to_string(i)).c_str(), i, 1);
    ASSERT_NE(channel, nullptr);
    if (i == 1) first = channel;
  }
  EXPECT_EQ(record_word(channel_info_body(), 0, 13), 200u);
  EXPECT_EQ(first->index, 1) << "still valid before the table grows";

  ChannelRecord* record200 = define_channel("c200", 200, 1);
  ASSERT_NE(record200, nullptr);
  EXPECT_EQ(record200->index, 200);
  std::vector<unsigned char> body = channel_info_body();
  ASSERT_EQ(body.size(), 36u + 84u * 201u);
  EXPECT_EQ(record_word(body, 0, 12), 201u);
  EXPECT_EQ(record_word(body, 0, 13), 400u);
  EXPECT_EQ(record_word(body, 199, 3), 200u) << "the sibling chain reaches the new record";
  EXPECT_EQ(record_word(body, 150, 12), 150u);
  EXPECT_EQ(record_name(body, 150).substr(0, 5), std::string("c150\0", 5));
}

TEST(ChannelTable, HeadRealsAreWholeAndMillionths) {
  define_channel("A", 1, 1);
  std::vector<unsigned char> body = channel_info_body(2.5f, -1.25f, 0.0f);
  EXPECT_EQ(word_at(body, 0), 2u);
  EXPECT_EQ(word_at(body, 4), 500000u);
  EXPECT_EQ(static_cast<std::int32_t>(word_at(body, 8)), -1);
  EXPECT_EQ(static_cast<std::int32_t>(word_at(body, 12)), -250000);
  EXPECT_EQ(word_at(body, 16), 0u);
  EXPECT_EQ(word_at(body, 20), 0u);
}

class Quaternion : public ::testing::Test {
 protected:
  // Stores values into a fresh channel of their count and reads them back.
  std::vector<float> stored(std::vector<float> values) {
    ChannelRecord* channel = define_channel("q", 9, static_cast<std::int32_t>(values.size()));
    EXPECT_EQ(store_channel_data(channel, values.data()), 0);
    std::vector<unsigned char> block = data_block_body();
    std::vector<float> out;
    for (std::size_t k = 0; k < values.size(); ++k) {
      std::uint32_t bits = word_at(block, 8 + 4 * k);
      float value;
      std::memcpy(&value, &bits, 4);
      out.push_back(value);
    }
    return out;
  }
};

TEST_F(Quaternion, LastFourValuesAreNormalised) {
  EXPECT_EQ(stored({0, 0, 0, 2}), (std::vector<float>{0, 0, 0, 1}));
}

TEST_F(Quaternion, OnlyTheLastFourOfSixAreNormalised) {
  std::vector<float> out = stored({7, 9, 3, 0, 0, 4});
  EXPECT_EQ(out, (std::vector<float>{7, 9, 0.6f, 0, 0, 0.8f}));
}

TEST_F(Quaternion, DegenerateBecomesIdentity) {
  EXPECT_EQ(stored({0, 0, 0, 0}), (std::vector<float>{1, 0, 0, 0}));
}

TEST_F(Quaternion, NotANumberBecomesIdentity) {
  float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(stored({0.5f, nan, 0.5f, 0.5f}), (std::vector<float>{1, 0, 0, 0}));
}

TEST_F(Quaternion, ThreeValuesAreStoredUnchanged) {
  EXPECT_EQ(stored({0, 0, 2}), (std::vector<float>{0, 0, 2}));
}

TEST(ChannelTable, CallersValuesAreNeverChanged) {
  ChannelRecord* channel = define_channel("q", 1, 4);
  const float values[4] = {0, 0, 0, 2};
  float copy[4];
  std::memcpy(copy, values, sizeof copy);
  ASSERT_EQ(store_channel_data(channel, copy), 0);
  EXPECT_EQ(std::memcmp(copy, values, sizeof copy), 0);
}

}  // namespace
