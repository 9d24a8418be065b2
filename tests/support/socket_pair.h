#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/wire_bytes.h"

namespace test_support {

// A connected pair of stream sockets: `server` is handed to the code under
// test, `peer` plays the client. Both close when the pair goes.
class SocketPair {
 public:
  SocketPair();
  ~SocketPair();
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  int server() const { return m_fds[0]; }
  int peer() const { return m_fds[1]; }

  // Writes bytes from the peer's side.
  void send(const std::vector<unsigned char>& bytes) const;
  // Closes the peer's side (the server then reads end of stream).
  void close_peer();
  // Reads exactly count bytes on the peer's side, or fewer when the stream
  // ends or nothing arrives within timeout_ms.
  std::vector<unsigned char> receive(std::size_t count, int timeout_ms = 5000) const;
  // Everything the peer can read right now without waiting.
  std::vector<unsigned char> pending() const;

 private:
  int m_fds[2];
};

}  // namespace test_support
