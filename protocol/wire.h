#pragma once

#include <cstddef>
#include <cstdint>

// The capture protocol as it travels: message header, type codes, version,
// bounds and the layout of every message body. Servers and clients of this
// program, and programs we do not build, read the same bytes, so every number
// below is fixed. Words are big-endian on the wire unless a layout says otherwise.

// Every message on a capture connection is an 8-byte header, type then payload
// length, both big-endian, followed directly by the payload. A reply carries
// the type code of the request it answers.
struct MessageHeader {
  std::uint32_t type;
  std::uint32_t length;
};
static_assert(sizeof(MessageHeader) == 8);
inline constexpr std::size_t MESSAGE_HEADER_SIZE = sizeof(MessageHeader);

inline constexpr std::uint32_t MSG_DIAGNOSTIC = 0;
inline constexpr std::uint32_t MSG_IDENTIFY = 1;
inline constexpr std::uint32_t MSG_VERSION = 2;
inline constexpr std::uint32_t MSG_SERVER_INFO = 3;
inline constexpr std::uint32_t MSG_CHANNEL_INFO = 4;
inline constexpr std::uint32_t MSG_DATA = 5;
inline constexpr std::uint32_t MSG_END = 9;

inline constexpr std::uint32_t PROTOCOL_VERSION = 300;

// No request is longer than 128 bytes; a header that announces more than this
// ends the session before anything is allocated.
inline constexpr std::uint32_t MAX_PAYLOAD = 1u << 20;

// The name this program's server publishes and reports, and the name a client
// looks for when it is given none.
inline constexpr char DEFAULT_SERVER_NAME[] = "Orvandelcaster";

// MSG_DIAGNOSTIC body: a big-endian level, then the line in a zero-filled field.
inline constexpr int DIAG_CLIENT_ERROR = 3;  // the client's request is wrong
inline constexpr int DIAG_SOCKET_ERROR =
    4;  // listening for, waiting on or serving a connection failed
// A diagnostic line holds at most 255 characters and its terminating zero.
inline constexpr std::size_t DIAGNOSTIC_LINE_SIZE = 256;
inline constexpr std::size_t DIAGNOSTIC_LINE_OFFSET = 4;
inline constexpr int DIAGNOSTIC_BODY_SIZE = 4 + static_cast<int>(DIAGNOSTIC_LINE_SIZE);

// MSG_IDENTIFY request: two zero-terminated texts in fields of 64 bytes; the
// reply is one word.
inline constexpr int IDENTIFY_TEXT_SIZE = 64;
inline constexpr int IDENTIFY_BODY_SIZE = 2 * IDENTIFY_TEXT_SIZE;
inline constexpr int IDENTIFY_REPLY_SIZE = 4;

// MSG_VERSION request: the client's version word; the reply: the server's
// version word and a zero word.
inline constexpr int VERSION_REPLY_SIZE = 8;

// MSG_SERVER_INFO reply: name, version text and description in zero-filled fields.
inline constexpr std::size_t SERVER_INFO_NAME_OFFSET = 0;
inline constexpr std::size_t SERVER_INFO_NAME_SIZE = 64;
inline constexpr std::size_t SERVER_INFO_VERSION_OFFSET = 64;
inline constexpr std::size_t SERVER_INFO_VERSION_SIZE = 16;
inline constexpr std::size_t SERVER_INFO_DESCRIPTION_OFFSET = 80;
inline constexpr std::size_t SERVER_INFO_DESCRIPTION_SIZE = 256;
inline constexpr int SERVER_INFO_SIZE = 336;
static_assert(SERVER_INFO_DESCRIPTION_OFFSET + SERVER_INFO_DESCRIPTION_SIZE == SERVER_INFO_SIZE);

// MSG_CHANNEL_INFO reply: a 36-byte head, then the whole channel table, one
// 84-byte ChannelRecord each. The head holds three reals as whole and
// millionths words (at 0, 8 and 16), two words the server chooses, and the
// record count.
inline constexpr std::size_t CHANNEL_INFO_HEAD_SIZE = 36;
inline constexpr std::size_t CHANNEL_INFO_REALS = 3;
inline constexpr std::size_t CHANNEL_INFO_WORD_A_OFFSET = 24;
inline constexpr std::size_t CHANNEL_INFO_WORD_B_OFFSET = 28;
inline constexpr std::size_t CHANNEL_INFO_COUNT_OFFSET = 32;

inline constexpr std::size_t CHANNEL_NAME_SIZE = 32;

// One 84-byte record of the channel table, in memory as on the wire (words
// 0 to 3 and 12 to 14 go out big-endian, the rest as held). Record 0 is the
// table header; every other record describes one channel, a child of record 0.
struct ChannelRecord {
  std::int32_t index;            // position in the table
  std::int32_t parent;           // -1 for record 0, else 0
  std::int32_t first_child;      // record 0: first channel, -1 while none; channels: -1
  std::int32_t next_sibling;     // next channel, -1 for the last
  char name[CHANNEL_NAME_SIZE];  // zero-filled; a 32-character name has no terminating zero
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
inline constexpr std::size_t CHANNEL_RECORD_SIZE = 84;
static_assert(sizeof(ChannelRecord) == CHANNEL_RECORD_SIZE);
static_assert(offsetof(ChannelRecord, name) == 16);
static_assert(offsetof(ChannelRecord, usage) == 48);
static_assert(offsetof(ChannelRecord, reserved15) == 60);

// Usage codes: what a channel's values stand for, chosen by the data source
// and read by clients by number. The joystick's four axes use these.
inline constexpr std::int32_t USAGE_X = 3;
inline constexpr std::int32_t USAGE_Y = 4;
inline constexpr std::int32_t USAGE_THRUST = 5;
inline constexpr std::int32_t USAGE_RUDDER = 7;

// The words of a record that travel big-endian; the others go out as held.
inline constexpr int CHANNEL_RECORD_NET_WORDS[] = {0, 1, 2, 3, 12, 13, 14};
// The first word that travels as held, and how many such words follow it.
inline constexpr std::size_t CHANNEL_RECORD_HOST_WORDS_OFFSET = 60;
inline constexpr std::size_t CHANNEL_RECORD_HOST_WORDS = 6;

// MSG_DATA reply: for each channel with values, its index and value count,
// then the values as the bits of big-endian floats.
inline constexpr std::size_t DATA_CHANNEL_HEAD_SIZE = 8;
