// Socket owners from the kernel's socket diagnostics (NETLINK_SOCK_DIAG), or
// from /proc/net/tcp where those cannot be asked. Any process may read the
// owner uid of any socket this way, so the answer needs no privilege.

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/socket_owner.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// What the kernel says of one socket. A socket without a file (one the server
// has not accepted yet, a closed one lingering in TIME_WAIT) has inode 0 and no
// owner: its uid says nothing.
struct SocketEntry {
  bool found = false;
  unsigned uid = 0;
  unsigned inode = 0;
  bool answered = true;
};

SocketOwner owner_of(const SocketEntry& entry) {
  if (!entry.found || entry.inode == 0) {
    return {OwnerKind::UNKNOWN, entry.found, -1, entry.answered, entry.answered};
  }
  bool ours = entry.uid == ::geteuid();
  return {ours ? OwnerKind::US : OwnerKind::OTHER_USER, true, static_cast<long long>(entry.uid)};
}

// The kernel's exact lookup of the TCP socket bound to local and connected to
// remote; with no such connection it answers with the listener on local's
// port. False when the diagnostics cannot be asked at all.
bool ask_kernel(const sockaddr_in& local, const sockaddr_in& remote, SocketEntry* entry) {
  UniqueFd sock(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!sock.valid()) return false;
  timeval limit{1, 0};
  ::setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  message.request.id.idiag_sport = local.sin_port;
  message.request.id.idiag_dport = remote.sin_port;
  message.request.id.idiag_src[0] = local.sin_addr.s_addr;
  message.request.id.idiag_dst[0] = remote.sin_addr.s_addr;
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(sock.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    return false;
  }
  alignas(nlmsghdr) char reply[8192];
  ssize_t length;
  do {
    length = ::recv(sock.get(), reply, sizeof reply, 0);
  } while (length < 0 && errno == EINTR);
  if (length < 0) return false;
  for (auto* header = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(header, length);
       header = NLMSG_NEXT(header, length)) {
    // An error is no answer: the kernel says ENOENT for a socket it does not
    // have, and also when it has no TCP diagnostics at all (their module not
    // loaded), so /proc/net/tcp settles it.
    if (header->nlmsg_type == NLMSG_ERROR) return false;
    if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
        header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
      const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
      entry->found = true;
      entry->uid = found->idiag_uid;
      entry->inode = found->idiag_inode;
      return true;
    }
  }
  return false;
}

// The same from /proc/net/tcp: the connection local -> remote, or, with remote
// of port 0, the socket listening on local's port (on 127.0.0.1 or any address).
SocketEntry read_proc_table(const sockaddr_in& local, const sockaddr_in& remote) {
  SocketEntry entry;
  std::FILE* table = std::fopen("/proc/net/tcp", "re");
  if (!table) {
    // Neither source answers: no owner, and none to wait for.
    entry.found = true;
    entry.answered = false;
    return entry;
  }
  char line[512];
  std::fgets(line, sizeof line, table);  // the column titles
  const bool listener = remote.sin_port == 0;
  while (std::fgets(line, sizeof line, table)) {
    unsigned local_address, local_port, remote_address, remote_port, state, uid, inode;
    if (std::sscanf(line, " %*u: %8X:%4X %8X:%4X %2X %*X:%*X %*X:%*X %*X %u %*u %u",
                    &local_address, &local_port, &remote_address, &remote_port, &state, &uid,
                    &inode) != 7) {
      continue;
    }
    if (local_port != ntohs(local.sin_port)) continue;
    bool match = listener ? state == TCP_LISTEN && (local_address == local.sin_addr.s_addr ||
                                                    local_address == htonl(INADDR_ANY))
                          : local_address == local.sin_addr.s_addr &&
                                remote_address == remote.sin_addr.s_addr &&
                                remote_port == ntohs(remote.sin_port);
    if (match) {
      entry = {true, uid, inode};
      break;
    }
  }
  std::fclose(table);
  return entry;
}

SocketOwner lookup(const sockaddr_in& local, const sockaddr_in& remote) {
  SocketEntry entry;
  if (!ask_kernel(local, remote, &entry)) entry = read_proc_table(local, remote);
  return owner_of(entry);
}

class KernelSocketOwners final : public SocketOwnerLookup {
 public:
  SocketOwner connection_owner(const sockaddr_in& local, const sockaddr_in& remote) override {
    return lookup(local, remote);
  }

  SocketOwner listener_owner(std::uint16_t net_port) override {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = net_port;
    sockaddr_in nowhere{};
    nowhere.sin_family = AF_INET;
    return lookup(local, nowhere);
  }
};

}  // namespace

// Never destroyed: the server thread may ask while the process runs its exit handlers.
SocketOwnerLookup& system_socket_owners() {
  static KernelSocketOwners* instance = new KernelSocketOwners;
  return *instance;
}

}  // namespace platform
