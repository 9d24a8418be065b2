#pragma once

#include <cstdint>

#include "protocol/wire.h"

// The channel table and its DataBlock: process-wide, owned by the server thread.

inline constexpr int CHANNEL_TABLE_STEP = 200;

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
int send_channel_info(int sock, float real1, float real2, float real3, std::uint32_t head_word_a,
                      std::uint32_t head_word_b);

// Sends MSG_DATA with the DataBlock. Returns send_message's result, or -1
// with errno ENOENT (no table) or EINVAL (no DataBlock yet).
int send_data_block(int sock);
