#pragma once

#include <cstdint>
#include <string>

#include "platform/net.h"

namespace platform {

// Who owns a socket on this machine, as far as the system tells.
enum class OwnerKind {
  US,          // a socket of our own user
  OTHER_USER,  // another user's (root is another user too)
  UNKNOWN,     // no owner known: the socket is gone, has no file yet, or the system will not say
};

struct SocketOwner {
  OwnerKind kind = OwnerKind::UNKNOWN;
  // Whether the system knows such a socket at all, owner or not; also true when
  // the system cannot tell (asking again would not help).
  bool found = false;
  // The owner's uid where the system names one (Linux), else -1.
  long long uid = -1;
  // False when the system gave no table to look in: then nothing is known,
  // not even whether such a socket exists.
  bool answered = true;
  // True where the system tells owners and no process holds such a socket any
  // more: it is closed (lingering without a file) or not there at all. Only
  // Linux says so; elsewhere a missing owner may only mean the system is silent.
  bool gone = false;
};

// The seam: the system's table of TCP sockets and their owners. The process-wide
// instance asks the kernel unless a test has put a fake in its place.
class SocketOwnerLookup {
 public:
  virtual ~SocketOwnerLookup() = default;
  // The owner of the IPv4 TCP socket bound to local and connected to remote.
  virtual SocketOwner connection_owner(const sockaddr_in& local, const sockaddr_in& remote) = 0;
  // The owner of the socket listening on net_port (network byte order) on 127.0.0.1.
  virtual SocketOwner listener_owner(std::uint16_t net_port) = 0;
};

SocketOwnerLookup& socket_owners();
// Tests only: puts a fake in place of the system's table; nullptr puts it back.
void set_socket_owners(SocketOwnerLookup* replacement);

// The owner of the socket at the other end of the connection fd accepted;
// gone once the peer has closed or reset it.
SocketOwner peer_socket_owner(int fd);
// The owner of the server's end of the loopback connection fd made. A
// connection the server has not accepted yet may show no owner: then the
// listener on the server's port answers. Asked again for up to timeout_ms while
// neither shows an owner and no listener is left: the server may have accepted
// and closed its listener between the two questions.
SocketOwner server_socket_owner(int fd, int timeout_ms);
// Whether the IPv4 address (network byte order) is one of 127.0.0.0/8.
bool is_loopback_address(std::uint32_t net_address);
// Whether the connection fd made leads to this machine: to 127.0.0.0/8, to
// 0.0.0.0 (which reaches this machine), or to one of its own addresses (the
// server's end is then the same address as ours).
bool leads_to_this_machine(int fd, std::uint32_t net_address);

// "user nobody (uid 65534)", "uid 1234" without a name, or "another user"
// where the system gives no uid.
std::string describe_owner(const SocketOwner& owner);

}  // namespace platform
