#include "tests/support/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

namespace test_support {

Bytes diagnostic_message(std::uint32_t level, const std::string& text) {
  return frame(0, words({level}) + text_field(text, 256));
}

bool RawClient::connect(std::uint16_t port, int receive_buffer) {
  m_fd.reset(connect_loopback(port, receive_buffer));
  return m_fd.valid();
}

bool RawClient::connect_to(const char* address, std::uint16_t port, std::uint16_t source_port,
                           int receive_buffer) {
  m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!m_fd.valid()) return false;
  if (receive_buffer > 0) {
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (source_port != 0) {
    addr.sin_port = htons(source_port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) {
      m_fd.reset();
      return false;
    }
  }
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, address, &addr.sin_addr) != 1 ||
      ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) {
    m_fd.reset();
    return false;
  }
  // Each send leaves at once, so a test controls exactly what the server has seen.
  int one = 1;
  ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

bool RawClient::send_bytes(const Bytes& bytes) { return send_all(m_fd.get(), bytes); }

std::size_t RawClient::send_available(const Bytes& bytes, std::size_t offset) {
  if (offset >= bytes.size()) return 0;
  ssize_t n;
  do {
    n = ::send(m_fd.get(), bytes.data() + offset, bytes.size() - offset,
               MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

Bytes RawClient::read_exact(std::size_t count, int timeout_ms) {
  return test_support::read_exact(m_fd.get(), count, timeout_ms);
}

StreamEnd RawClient::read_to_end(Bytes* extra, int timeout_ms) {
  return test_support::read_to_end(m_fd.get(), extra, timeout_ms);
}

void RawClient::shutdown_send() { ::shutdown(m_fd.get(), SHUT_WR); }

void RawClient::reset() {
  linger abort_on_close{1, 0};
  ::setsockopt(m_fd.get(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  m_fd.reset();
}

LoopbackListener::LoopbackListener() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (!m_fd.valid() || ::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
      ::listen(m_fd.get(), 5) < 0 ||
      ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&addr), &length) < 0) {
    return;
  }
  m_port = ntohs(addr.sin_port);
}

}  // namespace test_support
