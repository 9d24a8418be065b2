// The owner questions asked through the seam, the same on every system.

#ifndef _WIN32
#include <pwd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/socket_owner.h"

namespace platform {

SocketOwnerLookup& system_socket_owners();

namespace {

std::atomic<SocketOwnerLookup*> replacement_owners{nullptr};

// Both ends of a connected socket: ours and the peer's.
bool endpoints(int fd, sockaddr_in* local, sockaddr_in* remote) {
#ifdef _WIN32
  const SOCKET sock = static_cast<SOCKET>(fd);
#else
  const int sock = fd;
#endif
  socklen_t length = sizeof *local;
  if (::getsockname(sock, reinterpret_cast<sockaddr*>(local), &length) < 0) return false;
  length = sizeof *remote;
  if (::getpeername(sock, reinterpret_cast<sockaddr*>(remote), &length) < 0) return false;
  return local->sin_family == AF_INET && remote->sin_family == AF_INET;
}

}  // namespace

SocketOwnerLookup& socket_owners() {
  SocketOwnerLookup* fake = replacement_owners.load(std::memory_order_acquire);
  return fake ? *fake : system_socket_owners();
}

void set_socket_owners(SocketOwnerLookup* replacement) {
  replacement_owners.store(replacement, std::memory_order_release);
}

SocketOwner peer_socket_owner(int fd) {
  sockaddr_in ours{}, peer{};
  if (!endpoints(fd, &ours, &peer)) {
    SocketOwner owner;
#ifndef _WIN32
    // A peer that reset the connection leaves it with no other end at all.
    owner.gone = errno == ENOTCONN;
#endif
    return owner;
  }
  return socket_owners().connection_owner(peer, ours);
}

SocketOwner server_socket_owner(int fd, int timeout_ms) {
  sockaddr_in ours{}, server{};
  if (!endpoints(fd, &ours, &server)) return {};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    SocketOwner owner = socket_owners().connection_owner(server, ours);
    if (owner.kind != OwnerKind::UNKNOWN) return owner;
    owner = socket_owners().listener_owner(server.sin_port);
    if (owner.kind != OwnerKind::UNKNOWN || owner.found) return owner;
    if (std::chrono::steady_clock::now() >= deadline) return owner;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool is_loopback_address(std::uint32_t net_address) { return (ntohl(net_address) >> 24) == 127; }

bool leads_to_this_machine(int fd, std::uint32_t net_address) {
  if (is_loopback_address(net_address) || net_address == htonl(INADDR_ANY)) return true;
  sockaddr_in ours{}, server{};
  return endpoints(fd, &ours, &server) && ours.sin_addr.s_addr == server.sin_addr.s_addr;
}

std::string describe_owner(const SocketOwner& owner) {
  if (owner.uid < 0) return "another user";
  std::string uid = "uid " + std::to_string(owner.uid);
#ifndef _WIN32
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(static_cast<uid_t>(owner.uid), &entry, buffer, sizeof buffer, &found) == 0 &&
      found && found->pw_name) {
    return std::string("user ") + found->pw_name + " (" + uid + ")";
  }
#endif
  return uid;
}

}  // namespace platform
