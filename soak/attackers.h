#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

// The soak's attacker: a process of another user that connects to the
// server's published port, sends a request and waits for what comes back.
// The server must close every such connection without a byte, keeping its
// listener and its publication for its own user's clients.
namespace soak {

enum class AttackOutcome : unsigned char {
  CLOSED,       // the server closed the connection without a byte
  RESET,        // the server reset it (the request lay unread) without a byte
  NO_LISTENER,  // nothing listened on the port when the attacker connected
  ANSWERED,     // the server sent bytes: it served another user
  KEPT_OPEN,    // the connection stayed open past the time-out: it was served
  FAILED,       // the attacker could not connect for another reason
};
const char* attack_outcome_name(AttackOutcome outcome);

// Another user, as the system names it: "user nobody (uid 65534)".
struct OtherUser {
  uid_t uid = 65534;
  gid_t gid = 65534;
  std::string description;
};
OtherUser nobody_user();

// One process of the other user, started once and asked for connections one
// at a time, so thousands of attacks cost no process start each.
class Attacker {
 public:
  Attacker() = default;
  Attacker(const Attacker&) = delete;
  Attacker& operator=(const Attacker&) = delete;
  ~Attacker();

  // Starts the process. Only root can become another user; false otherwise.
  bool start(const OtherUser& user, int timeout_ms);
  // Asks for one connection to 127.0.0.1:port; returns at once.
  bool attack(std::uint16_t port);
  // Whether the outcome of the attack asked for has come.
  bool outcome_ready();
  // The outcome, waiting for it; none when the process gave no answer within
  // the time-out (it is lost: no further attack may be asked of it).
  std::optional<AttackOutcome> outcome();

 private:
  pid_t m_pid = -1;
  int m_channel = -1;
  int m_timeout_ms = 0;
};

}  // namespace soak
