#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "platform/errno_keeper.h"
#include "platform/net.h"
#include "platform/socket_owner.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

int bind_to(int fd, in_addr_t host_address, std::uint16_t net_port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(host_address);
  addr.sin_port = net_port;
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
}

class LinuxNet final : public Net {
 public:
  ssize_t recv(int fd, void* buf, std::size_t len) override {
    ssize_t n;
    do {
      n = ::recv(fd, buf, len, 0);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  ssize_t send(int fd, const void* buf, std::size_t len) override {
    ssize_t n;
    do {
      n = ::send(fd, buf, len, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  ssize_t send_parts(int fd, const iovec* parts, int count) override {
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(parts);
    message.msg_iovlen = static_cast<std::size_t>(count);
    ssize_t n;
    do {
      n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  int wait_readable(int fd, int timeout_ms) override {
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, timeout_ms);
    if (n < 0 && errno == EINTR) return 0;
    return n;
  }

  int tcp_socket() override { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

  int bind_any(int fd, std::uint16_t net_port) override {
    return bind_to(fd, INADDR_ANY, net_port);
  }

  int bind_loopback(int fd, std::uint16_t net_port) override {
    return bind_to(fd, INADDR_LOOPBACK, net_port);
  }

  bool loopback_port_refuses(std::uint16_t net_port, int timeout_ms) override {
    ErrnoKeeper keep_errno;
    // Another user's listener on a dead server's port is not ours: the port is
    // as good as free for the slot that names it. Asked before connecting, as a
    // listener that never accepts fills its queue and then answers no connect.
    if (socket_owners().listener_owner(net_port).kind == OwnerKind::OTHER_USER) return true;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = net_port;
    bool refused = false;
    bool connected = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      connected = true;
    } else if (errno == ECONNREFUSED) {
      refused = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int error = 0;
      socklen_t length = sizeof error;
      if (::poll(&p, 1, timeout_ms) == 1 &&
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0) {
        refused = error == ECONNREFUSED;
        connected = error == 0;
      }
    }
    // A port in the ephemeral range that nothing listens on can still "answer":
    // the system may pick that very port as our source port, and the socket
    // then connects to itself. Nobody listens there: the port is free. It is
    // closed with a reset, so no TIME_WAIT remnant keeps the port from the
    // listener the caller opens next (it may be the only ephemeral port left).
    if (connected) {
      sockaddr_in local{};
      socklen_t length = sizeof local;
      if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
          local.sin_port == net_port) {
        refused = true;
        const linger reset_on_close{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close);
      }
      // The listener may have changed hands since it was asked about.
      if (!refused && server_socket_owner(fd, timeout_ms).kind == OwnerKind::OTHER_USER) {
        refused = true;
      }
    }
    ::close(fd);
    return refused;
  }

  int listen(int fd, int backlog) override { return ::listen(fd, backlog); }

  int accept(int fd) override {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    int client;
    do {
      client = ::accept4(fd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    } while (client < 0 && errno == EINTR);
    return client;
  }

  int set_option(int fd, int level, int name, int value) override {
    return ::setsockopt(fd, level, name, &value, sizeof value);
  }

  int local_port(int fd, std::uint16_t* net_port) override {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0) return -1;
    *net_port = addr.sin_port;
    return 0;
  }

  int peer_address(int fd, sockaddr* addr, socklen_t* len) override {
    return ::getpeername(fd, addr, len);
  }

  int host_name_of(const sockaddr* addr, socklen_t len, char* host, std::size_t size) override {
    return ::getnameinfo(addr, len, host, static_cast<socklen_t>(size), nullptr, 0, NI_NAMEREQD) ==
                   0
               ? 0
               : -1;
  }

  int local_host_name(char* host, std::size_t size) override { return ::gethostname(host, size); }

  int service_port(const char* service, std::uint16_t* net_port) override {
    servent entry{};
    servent* found = nullptr;
    char buf[1024];
    if (::getservbyname_r(service, "tcp", &entry, buf, sizeof buf, &found) != 0 || !found) {
      return -1;
    }
    *net_port = static_cast<std::uint16_t>(found->s_port);
    return 0;
  }
};

// Never destroyed: the server thread may still be in a socket call while the
// process runs its exit handlers.
LinuxNet* linux_net() {
  static LinuxNet* instance = new LinuxNet;
  return instance;
}

std::atomic<Net*> replacement_net{nullptr};

}  // namespace

int start_socket_library() {
  std::signal(SIGPIPE, SIG_IGN);
  return 0;
}

void stop_socket_library() {}

void close_socket(int sock) {
  ErrnoKeeper keep_errno;
  ::close(sock);
}

Net& net() {
  Net* fake = replacement_net.load(std::memory_order_acquire);
  return fake ? *fake : *linux_net();
}

Net& system_net() { return *linux_net(); }

int connect_address(std::uint32_t net_address, std::uint16_t port, int timeout_ms) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = net_address;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) {
    if (errno != EINPROGRESS) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int wait_ms = -1;
      if (timeout_ms >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        wait_ms = left > 0 ? static_cast<int>(left) : 0;
      }
      pollfd p{fd.get(), POLLOUT, 0};
      int ready = ::poll(&p, 1, wait_ms);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return -1;
      if (ready == 0) {
        errno = ETIMEDOUT;
        return -1;
      }
      break;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) < 0) error = errno;
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  // The connection blocks from here on; readers bound their own waits.
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) return -1;
  int one = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd.release();
}

void set_net(Net* replacement) { replacement_net.store(replacement, std::memory_order_release); }

}  // namespace platform
