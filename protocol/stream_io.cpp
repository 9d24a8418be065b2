#include "protocol/stream_io.h"

#include <cerrno>
#include <chrono>

#include "platform/net.h"

int recv_all(int sock, void* dst, int count) { return recv_all_within(sock, dst, count, -1); }

int recv_all_within(int sock, void* dst, int count, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  auto* position = static_cast<unsigned char*>(dst);
  int remaining = count;
  while (remaining != 0) {
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      int ready = left.count() > 0
                      ? platform::net().wait_readable(sock, static_cast<int>(left.count()))
                      : 0;
      if (ready < 0) return -1;
      // A signal may cut a wait short; only the deadline ends the read.
      if (ready == 0 && Clock::now() < deadline) continue;
      if (ready == 0) {
        errno = ETIMEDOUT;
        return -1;
      }
    }
    ssize_t n = platform::net().recv(sock, position, static_cast<std::size_t>(remaining));
    if (n < 0) return static_cast<int>(n);
    if (n == 0) break;
    remaining -= static_cast<int>(n);
    position += n;
  }
  return count - remaining;
}

int send_all(int sock, const void* src, int count) {
  const auto* position = static_cast<const unsigned char*>(src);
  int remaining = count;
  while (remaining != 0) {
    ssize_t n = platform::net().send(sock, position, static_cast<std::size_t>(remaining));
    if (n <= 0) return static_cast<int>(n);
    remaining -= static_cast<int>(n);
    position += n;
  }
  return count;
}
