#pragma once

#include <cstdint>

#include "protocol/codec.h"
#include "protocol/stream_io.h"
#include "protocol/wire.h"

// The server's side of the framing: one process-wide receive buffer, owned by
// the server thread, that holds the payload of the latest request.

// Reads one whole message into the receive buffer and returns its type code.
// Returns 0 when receiving or allocating failed (errno EMSGSIZE for a payload
// above MAX_PAYLOAD) and MSG_END (9) when the stream ended before a whole
// message had arrived; the last message type is then left as it was.
std::uint32_t read_message(int sock);

// Sends a header and its payload: -1 when the header did not go out whole,
// otherwise send_all's result for the payload (length, 0 for none, or the
// failing send's 0 or negative result).
int send_message(int sock, std::uint32_t type, const void* payload, int length);

// The receive buffer: the payload of the most recent message that had one.
// Null until the first payload arrives (and after a failed allocation).
const unsigned char* receive_buffer();
// The payload length of the last message read whole; 0 when it had none.
// Request handlers read only these bytes of the receive buffer.
std::uint32_t received_length();
// The type code of the last message read whole; 0 at start.
std::uint32_t last_message_type();
