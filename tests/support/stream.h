#pragma once

#include <cstddef>
#include <cstdint>

#include "tests/support/wire_bytes.h"

// Blocking stream-socket I/O for the test side (tests, soak, benchmark), on
// 127.0.0.1 only. Waits are bounded by the given time-outs; a negative
// time-out waits as long as the socket itself does (its SO_RCVTIMEO, if set).
namespace test_support {

// A blocking connection to 127.0.0.1:port with TCP_NODELAY set, so each send
// leaves at once. With receive_buffer above 0 the socket's receive buffer is
// fixed at about that size before connecting, which keeps the advertised
// window small. -1 on failure.
int connect_loopback(std::uint16_t port, int receive_buffer = 0);

// Sends all of data; false on a failure or a closed peer.
bool send_all(int fd, const void* data, std::size_t size);
bool send_all(int fd, const Bytes& bytes);

// Reads exactly count bytes into data: the number read, fewer when the stream
// ended, failed or timeout_ms passed.
std::size_t read_exact(int fd, void* data, std::size_t count, int timeout_ms = -1);
Bytes read_exact(int fd, std::size_t count, int timeout_ms = -1);
// Reads all count bytes, waiting as long as the socket does; false when fewer came.
bool read_whole(int fd, void* data, std::size_t count);

// How a wait for the end of a connection came out.
enum class StreamEnd { kClosed, kReset, kTimedOut };

// Reads until the peer closes: kClosed on a clean end, kReset when the
// connection was reset, kTimedOut when it stayed open (or failed otherwise);
// every byte read on the way is appended to *extra.
StreamEnd read_to_end(int fd, Bytes* extra, int timeout_ms = -1);

}  // namespace test_support
