#pragma once

#include <cstdint>

// One 84-byte record of the channel table, in memory as on the wire (words
// 0 to 3 and 12 to 14 go out big-endian, the rest as held). Record 0 is the
// table header; every other record describes one channel, a child of record 0.
struct ChannelRecord {
  std::int32_t index;         // position in the table
  std::int32_t parent;        // -1 for record 0, else 0
  std::int32_t first_child;   // record 0: first channel, -1 while none; channels: -1
  std::int32_t next_sibling;  // next channel, -1 for the last
  char name[32];              // zero-filled; a 32-character name has no terminating zero
  union {
    std::int32_t usage;         // channel: usage code chosen by the data source
    std::int32_t record_count;  // record 0: records in use, record 0 included
  };
  union {
    std::int32_t reserved13;  // channel: 0
    std::int32_t capacity;    // record 0: records allocated, 200 at a time
  };
  union {
    std::int32_t dims;         // channel: number of float values
    std::int32_t block_words;  // record 0: DataBlock length in 32-bit words, 0 until built
  };
  std::int32_t reserved15;  // 0
  // Clients must never see an address here: record 0's block word is 1 once
  // the DataBlock exists, a channel's data word is the byte offset of its first
  // value in the DataBlock (0 until built, and always for a channel without values).
  union {
    std::int32_t data;
    std::int32_t block;
  };
  std::int32_t reserved17_20[4];  // 0
};
static_assert(sizeof(ChannelRecord) == 84);

inline constexpr int CHANNEL_TABLE_STEP = 200;
inline constexpr int CHANNEL_INFO_HEAD_SIZE = 36;

// Appends a channel named name (at most 32 bytes kept) with dims float values.
// Returns the record, valid until the table next grows, or null with errno
// ENOMEM (no memory) or EBUSY (the DataBlock is built: the table is closed).
ChannelRecord* define_channel(const char* name, std::int32_t usage, std::int32_t dims);

// Stores dims floats for channel into the DataBlock, building the block on
// the first call (which closes the table). The last four values of a channel
// with 4 or more are normalised as a unit quaternion. Returns 0 (also when
// channel or values is null, doing nothing), or -1 with errno ENOMEM (the
// block cannot be allocated) or EISDIR (the channel has no values).
int store_channel_data(ChannelRecord* channel, const float* values);

// Sends MSG_CHANNEL_INFO: a 36-byte head (whole and millionths of three reals,
// two caller words, the record count) and the whole table. Returns
// send_message's result, or -1 with errno ENOENT (no table) or ENOMEM.
int send_channel_info(int sock, float real1, float real2, float real3,
                      std::uint32_t head_word_a, std::uint32_t head_word_b);

// Sends MSG_DATA with the DataBlock. Returns send_message's result, or -1
// with errno ENOENT (no table) or EINVAL (no DataBlock yet).
int send_data_block(int sock);
