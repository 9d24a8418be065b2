// A whole session as a client sees it: the input is everything a client sends
// before closing its sending side, played into serve_client over a socket
// pair while another thread reads every reply. The replies must form whole,
// well-sized messages of the types the server sends.
//
// State that outlives a session (receive buffer, channel table, the flag that
// the channels are defined) carries over from input to input, as it does from
// client to client in the server.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "server/session.h"
#include "server_core/framing.h"

namespace {

// Small enough to sit whole in the socket's buffer before the session starts,
// so writing the input never waits.
constexpr std::size_t LONGEST_INPUT = 16 * 1024;

void fail(const char* what) {
  std::fprintf(stderr, "fuzz_session: %s\n", what);
  std::abort();
}

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::uint32_t word_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  std::uint32_t net;
  std::memcpy(&net, bytes.data() + at, sizeof net);
  return ntohl(net);
}

// The payload length of every reply type the server sends (the channel table
// holds the four joystick channels and its header record).
bool reply_is_well_sized(std::uint32_t type, std::uint32_t length) {
  switch (type) {
    case MSG_DIAGNOSTIC:
      return length == DIAGNOSTIC_BODY_SIZE;
    case MSG_IDENTIFY:
      return length == IDENTIFY_REPLY_SIZE;
    case MSG_VERSION:
      return length == VERSION_REPLY_SIZE;
    case MSG_SERVER_INFO:
      return length == SERVER_INFO_SIZE;
    case MSG_CHANNEL_INFO:
      // Record 0 and the four joystick channels.
      return length == CHANNEL_INFO_HEAD_SIZE + 5 * CHANNEL_RECORD_SIZE;
    case MSG_DATA:
      // Four channels of one value each.
      return length == 4 * (DATA_CHANNEL_HEAD_SIZE + 4);
    default:
      return false;
  }
}

void check_replies(const std::vector<std::uint8_t>& replies) {
  std::size_t at = 0;
  while (at < replies.size()) {
    if (replies.size() - at < 8) fail("a reply header was cut short");
    std::uint32_t type = word_at(replies, at);
    std::uint32_t length = word_at(replies, at + 4);
    if (!reply_is_well_sized(type, length)) fail("a reply has an unexpected type or length");
    if (replies.size() - at - 8 < length) fail("a reply payload was cut short");
    at += 8 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > LONGEST_INPUT) return 0;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0) fail("socketpair");
  const int server = fds[0], client = fds[1];
  if (!write_all(client, data, size)) fail("writing the input");
  ::shutdown(client, SHUT_WR);

  std::vector<std::uint8_t> replies;
  std::thread reader([&] {
    std::uint8_t chunk[4096];
    for (;;) {
      ssize_t n = ::read(client, chunk, sizeof chunk);
      if (n <= 0) break;
      replies.insert(replies.end(), chunk, chunk + n);
    }
  });
  int result = serve_client(server);
  ::close(server);
  reader.join();
  ::close(client);

  if (result != 0 && result != -1) fail("serve_client returned neither 0 nor -1");
  check_replies(replies);
  return 0;
}
