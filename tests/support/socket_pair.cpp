#include "tests/support/socket_pair.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace test_support {

SocketPair::SocketPair() : m_fds{-1, -1} {
  ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds);
}

SocketPair::~SocketPair() {
  for (int fd : m_fds) {
    if (fd >= 0) ::close(fd);
  }
}

void SocketPair::send(const std::vector<unsigned char>& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(m_fds[1], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void SocketPair::close_peer() {
  ::close(m_fds[1]);
  m_fds[1] = -1;
}

std::vector<unsigned char> SocketPair::receive(std::size_t count, int timeout_ms) const {
  std::vector<unsigned char> bytes(count);
  std::size_t got = 0;
  while (got < count) {
    pollfd p{m_fds[1], POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) break;
    ssize_t n = ::recv(m_fds[1], bytes.data() + got, count - got, 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
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
