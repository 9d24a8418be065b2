#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/stream.h"
#include "tests/support/wire_bytes.h"

// Exact bytes on a capture connection, for end-to-end tests that check the wire
// byte for byte and break it on purpose (cut headers, huge lengths, resets).
namespace test_support {

// A MSG_DIAGNOSTIC message as the server sends it: level and a 256-byte text field.
Bytes diagnostic_message(std::uint32_t level, const std::string& text);

// A TCP client on 127.0.0.1 that sends and receives raw bytes with deadlines.
class RawClient {
 public:
  // With receive_buffer above 0 the socket's receive buffer is fixed at about
  // that size before connecting, which keeps the advertised window small.
  bool connect(std::uint16_t port, int receive_buffer = 0);
  // The same to address (dotted IPv4), from source_port on 127.0.0.1 when it
  // is not 0.
  bool connect_to(const char* address, std::uint16_t port, std::uint16_t source_port = 0,
                  int receive_buffer = 0);
  bool connected() const { return m_fd.valid(); }
  int fd() const { return m_fd.get(); }

  bool send_bytes(const Bytes& bytes);
  // Sends as much of bytes from offset on as the socket takes without
  // waiting; the number of bytes sent (0 when it takes none).
  std::size_t send_available(const Bytes& bytes, std::size_t offset);
  // Exactly count bytes, or fewer when the stream ended, failed or timeout_ms passed.
  Bytes read_exact(std::size_t count, int timeout_ms = 10000);
  // Reads until the peer closes: kClosed on a clean end, kReset when the
  // connection was reset; every byte read on the way is appended to *extra.
  StreamEnd read_to_end(Bytes* extra, int timeout_ms = 10000);
  // Half-closes: the server sees the end of the stream, the client can still read.
  void shutdown_send();
  // Closes with an immediate reset (RST) instead of an orderly close.
  void reset();
  void close() { m_fd.reset(); }

 private:
  platform::UniqueFd m_fd;
};

// A socket listening on 127.0.0.1 on a port the system chooses, standing for
// a server that answers there; it accepts nobody.
class LoopbackListener {
 public:
  LoopbackListener();
  // Host byte order; 0 when the socket could not listen.
  std::uint16_t port() const { return m_port; }

 private:
  platform::UniqueFd m_fd;
  std::uint16_t m_port = 0;
};

}  // namespace test_support
