#include "tests/support/socket_pair.h"

#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/stream.h"

namespace test_support {

SocketPair::SocketPair() : m_fds{-1, -1} {
  ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds);
}

SocketPair::~SocketPair() {
  for (int fd : m_fds) {
    if (fd >= 0) ::close(fd);
  }
}

void SocketPair::send(const std::vector<unsigned char>& bytes) const { send_all(m_fds[1], bytes); }

void SocketPair::close_peer() {
  ::close(m_fds[1]);
  m_fds[1] = -1;
}

std::vector<unsigned char> SocketPair::receive(std::size_t count, int timeout_ms) const {
  return read_exact(m_fds[1], count, timeout_ms);
}

std::vector<unsigned char> SocketPair::pending() const {
  std::vector<unsigned char> bytes;
  unsigned char chunk[4096];
  for (;;) {
    ssize_t n = ::recv(m_fds[1], chunk, sizeof chunk, MSG_DONTWAIT);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

}  // namespace test_support
