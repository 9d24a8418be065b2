#pragma once

#include <random>
#include <string>
#include <vector>

// The clients of the soak test, one behaviour each. Every peer gets a
// connection the server has already accepted, plays its part, checks what the
// server sent back, and closes. All reads give up after a generous time-out,
// so a stuck server shows as a problem instead of a hang.
namespace soak {

enum class PeerKind {
  NORMAL,             // any requests, each reply checked; MSG_END or a closed side
  VERSION_MISMATCH,   // a version other than 300: a diagnostic, then the server closes
  CLIENT_DIAGNOSTIC,  // sends a message of type 0: the server closes without a reply
  VANISH,             // complete requests, then part of one, then gone
  RESET,              // complete requests, then a reset instead of a close
  GARBAGE,            // random bytes or random frames, then its side closed
  IDLE,               // connects and waits past the server's one-second wait first
};
inline constexpr int PEER_KINDS = 7;
const char* peer_kind_name(PeerKind kind);

struct PeerResult {
  bool expect_failure = false;  // the session must end in failure (one line on stderr)
  std::string failure_cause;    // why, when it must
  std::string problem;          // empty when the server did what was expected
};

// channels_defined: whether the server has answered a channel-information
// request before (data requests fail until then); the peer sets it when it
// asks for the channel table itself.
PeerResult run_peer(PeerKind kind, int fd, std::mt19937* random, bool* channels_defined);

// What a garbage peer sends: random bytes, or random frames (any type, true,
// cut, negative or oversized lengths, random payloads), possibly cut short.
std::vector<unsigned char> random_client_stream(std::mt19937* random);

// A blocking connection to 127.0.0.1:port whose reads give up after
// timeout_ms; -1 on failure.
int connect_peer(unsigned short port, int timeout_ms);

}  // namespace soak
