#pragma once

#include <cstddef>
#include <cstdint>

// Every message on a capture connection is an 8-byte header, type then payload
// length, both big-endian, followed directly by the payload. A reply carries
// the type code of the request it answers.
struct MessageHeader {
  std::uint32_t type;
  std::uint32_t length;
};
static_assert(sizeof(MessageHeader) == 8);

inline constexpr std::uint32_t MSG_DIAGNOSTIC = 0;
inline constexpr std::uint32_t MSG_IDENTIFY = 1;
inline constexpr std::uint32_t MSG_VERSION = 2;
inline constexpr std::uint32_t MSG_SERVER_INFO = 3;
inline constexpr std::uint32_t MSG_CHANNEL_INFO = 4;
inline constexpr std::uint32_t MSG_DATA = 5;
inline constexpr std::uint32_t MSG_END = 9;

// No request is longer than 128 bytes; a header that announces more than this
// ends the session before anything is allocated.
inline constexpr std::uint32_t MAX_PAYLOAD = 1u << 20;

// Receives exactly count bytes: count, or fewer (possibly 0) when the peer
// closed first, or the negative result of the failing receive.
int recv_all(int sock, void* dst, int count);

// Sends exactly count bytes: count, or the result of the send that failed
// (0 or negative), never a partial count.
int send_all(int sock, const void* src, int count);

// Reads one whole message into the receive buffer and returns its type code.
// Returns 0 when receiving or allocating failed (errno EMSGSIZE for a payload
// above MAX_PAYLOAD) and MSG_END (9) when the stream ended before a whole
// message had arrived; the last message type is then left as it was.
std::uint32_t read_message(int sock);

// Sends a header and its payload: -1 when the header did not go out whole,
// otherwise send_all's result for the payload (length, 0 for none, or the
// failing send's 0 or negative result).
int send_message(int sock, std::uint32_t type, const void* payload, int length);

// Fills a fixed-size text field of a message or record: the text up to its
// terminating zero, at most size bytes, then zeros to the end of the field. A
// text as long as the field fills it without a terminating zero.
void copy_text_field(char* field, std::size_t size, const char* text);

// The receive buffer: the payload of the most recent message that had one.
// Null until the first payload arrives (and after a failed allocation).
const unsigned char* receive_buffer();
// The payload length of the last message read whole; 0 when it had none.
// Request handlers read only these bytes of the receive buffer.
std::uint32_t received_length();
// The type code of the last message read whole; 0 at start.
std::uint32_t last_message_type();
