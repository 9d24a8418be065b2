#include "tests/support/stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "platform/unique_fd.h"

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd is readable: true when it is (or when there is no deadline),
// false on time-out or failure.
bool wait_readable(int fd, int timeout_ms, Clock::time_point deadline) {
  if (timeout_ms < 0) return true;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace

int connect_loopback(std::uint16_t port, int receive_buffer) {
  platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return -1;
  if (receive_buffer > 0) {
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) return -1;
  int one = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd.release();
}

bool send_all(int fd, const void* data, std::size_t size) {
  const auto* at = static_cast<const unsigned char*>(data);
  std::size_t sent = 0;
  while (sent < size) {
    ssize_t n = ::send(fd, at + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool send_all(int fd, const Bytes& bytes) { return send_all(fd, bytes.data(), bytes.size()); }

std::size_t read_exact(int fd, void* data, std::size_t count, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  auto* at = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < count && wait_readable(fd, timeout_ms, deadline)) {
    ssize_t n = ::recv(fd, at + done, count - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

Bytes read_exact(int fd, std::size_t count, int timeout_ms) {
  Bytes got(count);
  got.resize(read_exact(fd, got.data(), count, timeout_ms));
  return got;
}

bool read_whole(int fd, void* data, std::size_t count) {
  return read_exact(fd, data, count) == count;
}

StreamEnd read_to_end(int fd, Bytes* extra, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  unsigned char chunk[4096];
  while (wait_readable(fd, timeout_ms, deadline)) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == ECONNRESET ? StreamEnd::kReset : StreamEnd::kTimedOut;
    if (n == 0) return StreamEnd::kClosed;
    extra->insert(extra->end(), chunk, chunk + n);
  }
  return StreamEnd::kTimedOut;
}

}  // namespace test_support
