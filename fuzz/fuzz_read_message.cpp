// read_message over a stream of arbitrary bytes, checked against an
// independent reading of the same bytes: every message's type, payload length
// and payload bytes, where the stream ends early, and a length above the limit.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server_core/framing.h"

namespace {

constexpr std::size_t LONGEST_INPUT = 64 * 1024;

void fail(const char* what, std::size_t offset) {
  std::fprintf(stderr, "fuzz_read_message: %s (message at byte %zu)\n", what, offset);
  std::abort();
}

std::uint32_t word_at(const std::uint8_t* bytes) {
  std::uint32_t net;
  std::memcpy(&net, bytes, sizeof net);
  return ntohl(net);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > LONGEST_INPUT) return 0;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0) std::abort();
  std::size_t written = 0;
  while (written < size) {
    ssize_t n = ::write(fds[1], data + written, size - written);
    if (n <= 0) std::abort();
    written += static_cast<std::size_t>(n);
  }
  ::close(fds[1]);

  std::size_t at = 0;
  for (;;) {
    std::uint32_t type_before = last_message_type();
    std::uint32_t got = read_message(fds[0]);
    std::size_t left = size - at;
    if (left < 8) {
      if (got != MSG_END) fail("a cut header did not end the stream", at);
      if (last_message_type() != type_before) fail("a cut header changed the last type", at);
      break;
    }
    std::uint32_t type = word_at(data + at);
    auto length = static_cast<std::int32_t>(word_at(data + at + 4));
    std::size_t payload = length > 0 ? static_cast<std::size_t>(length) : 0;
    if (payload > MAX_PAYLOAD) {
      if (got != 0 || errno != EMSGSIZE) fail("an oversized length was not refused", at);
      if (last_message_type() != type_before) fail("a refused message changed the last type", at);
      break;
    }
    if (left - 8 < payload) {
      if (got != MSG_END) fail("a cut payload did not end the stream", at);
      if (last_message_type() != type_before) fail("a cut payload changed the last type", at);
      break;
    }
    if (got != type) fail("wrong type", at);
    if (last_message_type() != type) fail("wrong last message type", at);
    if (received_length() != payload) fail("wrong payload length", at);
    if (payload > 0 && std::memcmp(receive_buffer(), data + at + 8, payload) != 0) {
      fail("wrong payload bytes", at);
    }
    at += 8 + payload;
  }
  ::close(fds[0]);
  return 0;
}
