#include "soak/peers.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "protocol/wire.h"
#include "soak/session_model.h"
#include "tests/support/stream.h"
#include "tests/support/wire_bytes.h"

namespace soak {

namespace {

using test_support::Bytes;
using test_support::frame;
using test_support::header;
using test_support::operator+;
using test_support::word_at;
using test_support::words;

// A message whose length word says what it likes, followed by payload.
Bytes frame(std::uint32_t type, const Bytes& payload, std::uint32_t length) {
  return header(type, length) + payload;
}

int pick(std::mt19937* random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(*random);
}

Bytes random_bytes(std::mt19937* random, int count) {
  Bytes bytes(static_cast<std::size_t>(count));
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(pick(random, 0, 255));
  return bytes;
}

bool send_bytes(int fd, const Bytes& bytes) { return test_support::send_all(fd, bytes); }

bool read_exact(int fd, std::size_t count, Bytes* out) {
  *out = test_support::read_exact(fd, count);
  return out->size() == count;
}

// Reads until the server closes (a reset counts as closed); false when the
// connection stays open past the time-out.
bool read_to_end(int fd, Bytes* out) {
  return test_support::read_to_end(fd, out) != test_support::StreamEnd::kTimedOut;
}

// One request of a well-behaved client, with the reply it must get.
struct Request {
  Bytes bytes;
  std::uint32_t reply_type;
  std::size_t reply_length;
  std::string reply_start;  // the reply's first bytes where they are fixed
};

// The bytes of a literal that may hold zeros, without its implicit final zero.
template <std::size_t N>
std::string fixed(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

Bytes identification(std::mt19937* random) {
  Bytes texts(128, 0);
  const char* first = "soak peer";
  std::memcpy(texts.data(), first, std::strlen(first));
  std::string second = "session " + std::to_string(pick(random, 0, 99999));
  std::memcpy(texts.data() + 64, second.data(), second.size());
  return texts;
}

Request random_request(std::mt19937* random, bool channels_defined) {
  for (;;) {
    switch (pick(random, 0, 5)) {
      case 0:
        return {frame(MSG_IDENTIFY, identification(random)), MSG_IDENTIFY, 4, fixed("\0\0\0\1")};
      case 1:
        return {frame(MSG_VERSION, words({PROTOCOL_VERSION})), MSG_VERSION, 8,
                fixed("\0\0\x01\x2c\0\0\0\0")};
      case 2:
        return {frame(MSG_SERVER_INFO), MSG_SERVER_INFO, SERVER_INFO_SIZE,
                fixed("Orvandelcaster\0")};
      case 3:
        return {frame(MSG_CHANNEL_INFO), MSG_CHANNEL_INFO, JOYSTICK_CHANNEL_INFO_SIZE, ""};
      case 4:
        if (!channels_defined) continue;
        return {frame(MSG_DATA), MSG_DATA, JOYSTICK_DATA_SIZE, fixed("\0\0\0\1\0\0\0\1")};
      default: {
        static const std::uint32_t UNKNOWN[] = {6, 7, 8, 10, 11, 0x12345678u};
        std::uint32_t type = UNKNOWN[pick(random, 0, 5)];
        return {frame(type, random_bytes(random, pick(random, 0, 40))), MSG_DIAGNOSTIC, 260,
                fixed("\0\0\0\3Orvandelcaster: Unknown server command.\0")};
      }
    }
  }
}

// Sends a request and checks its reply; an empty string when all is well.
std::string exchange(int fd, const Request& request, bool* channels_defined) {
  if (!send_bytes(fd, request.bytes)) return "a request could not be sent";
  Bytes header, payload;
  if (!read_exact(fd, 8, &header)) return "no reply arrived";
  if (word_at(header, 0) != request.reply_type || word_at(header, 4) != request.reply_length) {
    return "a reply had the wrong type or length";
  }
  if (!read_exact(fd, request.reply_length, &payload)) return "a reply was cut short";
  const std::string& start = request.reply_start;
  if (std::memcmp(payload.data(), start.data(), start.size()) != 0)
    return "a reply had wrong bytes";
  if (request.reply_type == MSG_CHANNEL_INFO) *channels_defined = true;
  return "";
}

std::string some_requests(int fd, std::mt19937* random, int low, int high, bool* channels_defined) {
  for (int i = pick(random, low, high); i > 0; --i) {
    std::string problem = exchange(fd, random_request(random, *channels_defined), channels_defined);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string expect_closed_without_reply(int fd) {
  Bytes rest;
  if (!read_to_end(fd, &rest)) return "the server did not close the connection";
  if (!rest.empty()) return "the server sent bytes it should not have";
  return "";
}

PeerResult normal(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  result.problem = some_requests(fd, random, 1, 8, channels_defined);
  if (!result.problem.empty()) return result;
  if (pick(random, 0, 2) > 0) {
    send_bytes(fd, frame(MSG_END, random_bytes(random, pick(random, 0, 8))));
  } else {
    ::shutdown(fd, SHUT_WR);
  }
  result.problem = expect_closed_without_reply(fd);
  return result;
}

PeerResult version_mismatch(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  result.expect_failure = true;
  result.failure_cause = "version mismatch";
  result.problem = some_requests(fd, random, 0, 2, channels_defined);
  if (!result.problem.empty()) return result;
  std::uint32_t version = static_cast<std::uint32_t>(pick(random, 0, 1000));
  if (version == PROTOCOL_VERSION) ++version;
  // The level, then the text with its own line feed and a terminating zero.
  std::string reply_start("\0\0\0\3", 4);
  reply_start +=
      "Orvandelcaster: Protocol mismatch: client = " + std::to_string(version) + ", server = 300\n";
  reply_start.push_back('\0');
  Request request{frame(MSG_VERSION, words({version})), MSG_DIAGNOSTIC, 260, reply_start};
  result.problem = exchange(fd, request, channels_defined);
  if (result.problem.empty()) result.problem = expect_closed_without_reply(fd);
  return result;
}

PeerResult client_diagnostic(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  result.expect_failure = true;
  result.failure_cause = "message of type 0";
  result.problem = some_requests(fd, random, 0, 2, channels_defined);
  if (!result.problem.empty()) return result;
  send_bytes(fd, frame(MSG_DIAGNOSTIC, random_bytes(random, pick(random, 0, 16))));
  result.problem = expect_closed_without_reply(fd);
  return result;
}

Bytes part_of_a_request(std::mt19937* random, bool channels_defined) {
  Bytes whole = random_request(random, channels_defined).bytes;
  if (whole.size() == 8) whole = frame(MSG_IDENTIFY, identification(random));
  whole.resize(static_cast<std::size_t>(pick(random, 1, static_cast<int>(whole.size()) - 1)));
  return whole;
}

PeerResult vanish(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  result.problem = some_requests(fd, random, 0, 3, channels_defined);
  if (result.problem.empty()) send_bytes(fd, part_of_a_request(random, *channels_defined));
  return result;
}

PeerResult reset(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  result.expect_failure = true;
  result.failure_cause = "connection reset";
  result.problem = some_requests(fd, random, 1, 3, channels_defined);
  if (!result.problem.empty()) return result;
  if (pick(random, 0, 1)) send_bytes(fd, part_of_a_request(random, *channels_defined));
  // A zero linger time makes close send a reset instead of ending the stream.
  linger abort_on_close{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  return result;
}

std::uint32_t garbage_type(std::mt19937* random) {
  int choice = pick(random, 0, 15);
  if (choice <= 11) return static_cast<std::uint32_t>(choice);
  return static_cast<std::uint32_t>((*random)());
}

std::uint32_t garbage_length(std::mt19937* random, std::size_t sent) {
  switch (pick(random, 0, 7)) {
    case 0:
      return 0x80000000u | static_cast<std::uint32_t>(pick(random, 0, 1 << 30));
    case 1:
      return MAX_PAYLOAD + 1 + static_cast<std::uint32_t>(pick(random, 0, 1 << 30));
    case 2:
      return static_cast<std::uint32_t>(sent) + static_cast<std::uint32_t>(pick(random, 1, 99));
    default:
      return static_cast<std::uint32_t>(sent);
  }
}

}  // namespace

Bytes random_client_stream(std::mt19937* random) {
  if (pick(random, 0, 3) == 0) return random_bytes(random, pick(random, 1, 64));
  Bytes stream;
  for (int frames = pick(random, 1, 6); frames > 0; --frames) {
    std::uint32_t type = garbage_type(random);
    Bytes payload = type == MSG_VERSION && pick(random, 0, 1)
                        ? words({PROTOCOL_VERSION})
                        : random_bytes(random, pick(random, 0, 64));
    Bytes bytes = frame(type, payload, garbage_length(random, payload.size()));
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  }
  if (pick(random, 0, 3) == 0)
    stream.resize(static_cast<std::size_t>(pick(random, 1, static_cast<int>(stream.size()))));
  return stream;
}

namespace {

PeerResult garbage_peer(int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  Bytes stream = random_client_stream(random);
  Outcome expected = predict_session(stream, *channels_defined);
  result.expect_failure = expected.failure;
  result.failure_cause = expected.cause;
  if (!send_bytes(fd, stream)) {
    result.problem = "garbage could not be sent";
    return result;
  }
  ::shutdown(fd, SHUT_WR);
  Bytes replies;
  int count = 0;
  if (!read_to_end(fd, &replies)) {
    result.problem = "the server did not close after garbage";
  } else if (!whole_replies(replies, &count)) {
    result.problem = "the replies to garbage were not whole messages";
  } else if (expected.failure ? count > expected.replies : count != expected.replies) {
    // A failing session may reset the connection over unread garbage, which
    // can cost the client replies still on their way; never extra ones.
    result.problem = "garbage got " + std::to_string(count) + " replies instead of " +
                     std::to_string(expected.replies);
  }
  *channels_defined = expected.channels_defined;
  return result;
}

PeerResult idle(int fd, std::mt19937* random, bool* channels_defined) {
  // Longer than the server's one-second wait for a request, so it waits again.
  std::this_thread::sleep_for(std::chrono::milliseconds(pick(random, 1100, 1500)));
  return normal(fd, random, channels_defined);
}

}  // namespace

const char* peer_kind_name(PeerKind kind) {
  switch (kind) {
    case PeerKind::NORMAL:
      return "normal";
    case PeerKind::VERSION_MISMATCH:
      return "version_mismatch";
    case PeerKind::CLIENT_DIAGNOSTIC:
      return "client_diagnostic";
    case PeerKind::VANISH:
      return "vanish_mid_message";
    case PeerKind::RESET:
      return "reset";
    case PeerKind::GARBAGE:
      return "garbage";
    case PeerKind::IDLE:
      return "idle";
  }
  return "?";
}

PeerResult run_peer(PeerKind kind, int fd, std::mt19937* random, bool* channels_defined) {
  PeerResult result;
  switch (kind) {
    case PeerKind::NORMAL:
      result = normal(fd, random, channels_defined);
      break;
    case PeerKind::VERSION_MISMATCH:
      result = version_mismatch(fd, random, channels_defined);
      break;
    case PeerKind::CLIENT_DIAGNOSTIC:
      result = client_diagnostic(fd, random, channels_defined);
      break;
    case PeerKind::VANISH:
      result = vanish(fd, random, channels_defined);
      break;
    case PeerKind::RESET:
      result = reset(fd, random, channels_defined);
      break;
    case PeerKind::GARBAGE:
      result = garbage_peer(fd, random, channels_defined);
      break;
    case PeerKind::IDLE:
      result = idle(fd, random, channels_defined);
      break;
  }
  ::close(fd);
  return result;
}

int connect_peer(unsigned short port, int timeout_ms) {
  int fd = test_support::connect_loopback(port);
  if (fd < 0) return -1;
  // Reads and sends give up after timeout_ms, so a stuck server shows as a problem.
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  return fd;
}

}  // namespace soak
