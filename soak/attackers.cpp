#include "soak/attackers.h"

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "protocol/wire.h"
#include "tests/support/stream.h"
#include "tests/support/wire_bytes.h"

namespace soak {
namespace {

AttackOutcome connect_and_listen(std::uint16_t port, int timeout_ms) {
  int fd = test_support::connect_loopback(port);
  // A reset may come before the connection is even made: the listener it
  // waited in was closed, or the server turned it away at once.
  if (fd < 0 && errno == ECONNRESET) return AttackOutcome::RESET;
  if (fd < 0) return errno == ECONNREFUSED ? AttackOutcome::NO_LISTENER : AttackOutcome::FAILED;
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  // A request a server that served this user would answer at once. The send
  // may fail when the server has already closed; only what comes back counts.
  test_support::send_all(fd,
                         test_support::frame(MSG_VERSION, test_support::words({PROTOCOL_VERSION})));
  char byte = 0;
  ssize_t n = ::recv(fd, &byte, 1, 0);
  int recv_errno = errno;
  ::close(fd);
  if (n > 0) return AttackOutcome::ANSWERED;
  if (n == 0) return AttackOutcome::CLOSED;
  if (recv_errno == ECONNRESET) return AttackOutcome::RESET;
  if (recv_errno == EAGAIN || recv_errno == EWOULDBLOCK) return AttackOutcome::KEPT_OPEN;
  return AttackOutcome::FAILED;
}

// The attacker process: becomes the other user before it opens any socket
// (the kernel records a socket's owner when it is made), then attacks each
// port it is given until its channel closes.
[[noreturn]] void run_attacker(int channel, const OtherUser& user, int timeout_ms) {
  if (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0 ||
      ::getuid() != user.uid || ::geteuid() != user.uid) {
    ::_exit(1);
  }
  for (;;) {
    std::uint16_t port = 0;
    if (::read(channel, &port, sizeof port) != static_cast<ssize_t>(sizeof port)) ::_exit(0);
    AttackOutcome outcome = connect_and_listen(port, timeout_ms);
    if (::write(channel, &outcome, 1) != 1) ::_exit(0);
  }
}

}  // namespace

const char* attack_outcome_name(AttackOutcome outcome) {
  switch (outcome) {
    case AttackOutcome::CLOSED:
      return "closed unanswered";
    case AttackOutcome::RESET:
      return "reset unanswered";
    case AttackOutcome::NO_LISTENER:
      return "found no listener";
    case AttackOutcome::ANSWERED:
      return "answered";
    case AttackOutcome::KEPT_OPEN:
      return "kept open";
    case AttackOutcome::FAILED:
      return "failed to attack";
  }
  return "?";
}

OtherUser nobody_user() {
  OtherUser user;
  if (const passwd* entry = ::getpwnam("nobody")) {
    user.uid = entry->pw_uid;
    user.gid = entry->pw_gid;
  }
  const passwd* named = ::getpwuid(user.uid);
  std::string uid = "uid " + std::to_string(user.uid);
  user.description = named ? std::string("user ") + named->pw_name + " (" + uid + ")" : uid;
  return user;
}

Attacker::~Attacker() {
  if (m_channel >= 0) ::close(m_channel);
  if (m_pid > 0) {
    // An attack may still be waiting for its time-out; it is not waited for.
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
}

bool Attacker::start(const OtherUser& user, int timeout_ms) {
  if (::geteuid() != 0) return false;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  m_timeout_ms = timeout_ms;
  m_pid = ::fork();
  if (m_pid == 0) {
    ::close(ends[0]);
    run_attacker(ends[1], user, timeout_ms);
  }
  ::close(ends[1]);
  m_channel = ends[0];
  return m_pid > 0;
}

bool Attacker::attack(std::uint16_t port) {
  return ::write(m_channel, &port, sizeof port) == static_cast<ssize_t>(sizeof port);
}

bool Attacker::outcome_ready() {
  pollfd p{m_channel, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

std::optional<AttackOutcome> Attacker::outcome() {
  // The attacker's own wait, and a margin for a loaded machine.
  pollfd p{m_channel, POLLIN, 0};
  AttackOutcome outcome;
  if (::poll(&p, 1, m_timeout_ms + 5000) <= 0 || ::read(m_channel, &outcome, 1) != 1) {
    return std::nullopt;
  }
  return outcome;
}

}  // namespace soak
