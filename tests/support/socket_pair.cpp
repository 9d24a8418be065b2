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

std::vector<unsigned char> header(std::uint32_t type, std::uint32_t length) {
  return words({type, length});
}

std::vector<unsigned char> frame(std::uint32_t type, const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> bytes = header(type, static_cast<std::uint32_t>(payload.size()));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<unsigned char> words(std::initializer_list<std::uint32_t> values) {
  std::vector<unsigned char> bytes;
  for (std::uint32_t value : values) {
    std::uint32_t net = htonl(value);
    auto* p = reinterpret_cast<unsigned char*>(&net);
    bytes.insert(bytes.end(), p, p + 4);
  }
  return bytes;
}

std::vector<unsigned char> concat(std::initializer_list<std::vector<unsigned char>> parts) {
  std::vector<unsigned char> bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

std::uint32_t word_at(const std::vector<unsigned char>& bytes, std::size_t offset) {
  std::uint32_t net = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&net, bytes.data() + offset, 4);
  return ntohl(net);
}

std::uint32_t float_bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace test_support
