#include "tests/support/raw_client.h"

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

}  // namespace test_support
