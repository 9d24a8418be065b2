// The socket seam on Windows Sockets 2.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/errno_keeper.h"
#include "platform/net.h"
#include "platform/socket_owner.h"
#include "platform/socket_errors_windows.h"

namespace platform {
namespace {

struct WinsockError {
  int wsa_error;
  int error;
};

constexpr WinsockError WINSOCK_ERRORS[] = {
    {WSAEINTR, EINTR},
    {WSAEBADF, EBADF},
    {WSAEACCES, EACCES},
    {WSAEFAULT, EFAULT},
    {WSAEINVAL, EINVAL},
    {WSAEMFILE, EMFILE},
    {WSAEWOULDBLOCK, EWOULDBLOCK},
    {WSAEINPROGRESS, EINPROGRESS},
    {WSAEALREADY, EALREADY},
    {WSAENOTSOCK, ENOTSOCK},
    {WSAEDESTADDRREQ, EDESTADDRREQ},
    {WSAEMSGSIZE, EMSGSIZE},
    {WSAEPROTOTYPE, EPROTOTYPE},
    {WSAENOPROTOOPT, ENOPROTOOPT},
    {WSAEPROTONOSUPPORT, EPROTONOSUPPORT},
    {WSAEOPNOTSUPP, EOPNOTSUPP},
    {WSAEAFNOSUPPORT, EAFNOSUPPORT},
    {WSAEADDRINUSE, EADDRINUSE},
    {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
    {WSAENETDOWN, ENETDOWN},
    {WSAENETUNREACH, ENETUNREACH},
    {WSAENETRESET, ENETRESET},
    {WSAECONNABORTED, ECONNABORTED},
    {WSAECONNRESET, ECONNRESET},
    {WSAENOBUFS, ENOBUFS},
    {WSAEISCONN, EISCONN},
    {WSAENOTCONN, ENOTCONN},
    // A send after the connection was shut down: Linux says EPIPE.
    {WSAESHUTDOWN, EPIPE},
    {WSAETIMEDOUT, ETIMEDOUT},
    {WSAECONNREFUSED, ECONNREFUSED},
    {WSAELOOP, ELOOP},
    {WSAENAMETOOLONG, ENAMETOOLONG},
    {WSAEHOSTDOWN, EHOSTUNREACH},
    {WSAEHOSTUNREACH, EHOSTUNREACH},
    // The library is not started (any more): no socket call can work.
    {WSANOTINITIALISED, ENETDOWN},
    {WSASYSNOTREADY, ENETDOWN},
    {WSAVERNOTSUPPORTED, ENOSYS},
};

// Every failing call leaves its reason in errno, as the POSIX calls do.
int fail() {
  errno = errno_from_winsock(::WSAGetLastError());
  return -1;
}

SOCKET as_socket(int sock) { return static_cast<SOCKET>(static_cast<std::intptr_t>(sock)); }

// INVALID_SOCKET is -1 as an int, so a failed socket call keeps the POSIX result.
int as_int(SOCKET sock) {
  if (sock == INVALID_SOCKET) return fail();
  return static_cast<int>(static_cast<std::intptr_t>(sock));
}

// The mode switch of ioctlsocket; the header's constant does not fit its long.
const long SET_NON_BLOCKING = static_cast<long>(FIONBIO);

int len_of(std::size_t len) { return len > INT_MAX ? INT_MAX : static_cast<int>(len); }

int bind_to(int fd, std::uint32_t net_address, std::uint16_t net_port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = net_address;
  addr.sin_port = net_port;
  if (::bind(as_socket(fd), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    return fail();
  }
  return 0;
}

class WindowsNet final : public Net {
 public:
  ssize_t recv(int fd, void* buf, std::size_t len) override {
    int n = ::recv(as_socket(fd), static_cast<char*>(buf), len_of(len), 0);
    return n == SOCKET_ERROR ? fail() : n;
  }

  // Windows raises no signal for a vanished peer: the send simply fails.
  ssize_t send(int fd, const void* buf, std::size_t len) override {
    int n = ::send(as_socket(fd), static_cast<const char*>(buf), len_of(len), 0);
    return n == SOCKET_ERROR ? fail() : n;
  }

  ssize_t send_parts(int fd, const iovec* parts, int count) override {
    constexpr int MAX_PARTS = 8;
    if (count < 0 || count > MAX_PARTS) {
      errno = EINVAL;
      return -1;
    }
    WSABUF buffers[MAX_PARTS];
    for (int i = 0; i < count; ++i) {
      buffers[i].buf = static_cast<char*>(parts[i].iov_base);
      buffers[i].len = static_cast<ULONG>(parts[i].iov_len);
    }
    DWORD sent = 0;
    if (::WSASend(as_socket(fd), buffers, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr) ==
        SOCKET_ERROR) {
      return fail();
    }
    return static_cast<ssize_t>(sent);
  }

  // select, whose set on Windows is a list of handles (no limit on their values).
  int wait_readable(int fd, int timeout_ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(as_socket(fd), &readable);
    timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int n = ::select(0, &readable, nullptr, nullptr, &timeout);
    return n == SOCKET_ERROR ? fail() : n;
  }

  // Not inherited by child processes, as close-on-exec on Linux.
  int tcp_socket() override {
    return as_int(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                               WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
  }

  int bind_any(int fd, std::uint16_t net_port) override {
    return bind_to(fd, htonl(INADDR_ANY), net_port);
  }

  int bind_loopback(int fd, std::uint16_t net_port) override {
    return bind_to(fd, htonl(INADDR_LOOPBACK), net_port);
  }

  int listen(int fd, int backlog) override {
    return ::listen(as_socket(fd), backlog) != 0 ? fail() : 0;
  }

  int accept(int fd) override {
    int client = as_int(::accept(as_socket(fd), nullptr, nullptr));
    if (client >= 0) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(as_socket(client)), HANDLE_FLAG_INHERIT, 0);
    }
    return client;
  }

  int set_option(int fd, int level, int name, int value) override {
    return ::setsockopt(as_socket(fd), level, name, reinterpret_cast<const char*>(&value),
                        sizeof value) != 0
               ? fail()
               : 0;
  }

  int local_port(int fd, std::uint16_t* net_port) override {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (::getsockname(as_socket(fd), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return fail();
    *net_port = addr.sin_port;
    return 0;
  }

  int peer_address(int fd, sockaddr* addr, socklen_t* len) override {
    return ::getpeername(as_socket(fd), addr, len) != 0 ? fail() : 0;
  }

  int host_name_of(const sockaddr* addr, socklen_t len, char* host, std::size_t size) override {
    return ::getnameinfo(addr, len, host, static_cast<DWORD>(size), nullptr, 0, NI_NAMEREQD) == 0
               ? 0
               : -1;
  }

  bool loopback_port_refuses(std::uint16_t net_port, int timeout_ms) override {
    ErrnoKeeper keep_errno;
    // Another user's listener on a dead server's port is not ours; asked before
    // connecting, as a listener that never accepts answers no connect.
    if (socket_owners().listener_owner(net_port).kind == OwnerKind::OTHER_USER) return true;
    int sock = connect_address(htonl(INADDR_LOOPBACK), ntohs(net_port), timeout_ms);
    bool refused = sock < 0 && errno == ECONNREFUSED;
    // The listener may have changed hands since it was asked about.
    if (sock >= 0 && server_socket_owner(sock, timeout_ms).kind == OwnerKind::OTHER_USER) {
      refused = true;
    }
    if (sock >= 0) close_socket(sock);
    return refused;
  }

  int local_host_name(char* host, std::size_t size) override {
    return ::gethostname(host, len_of(size)) != 0 ? fail() : 0;
  }

  int service_port(const char* service, std::uint16_t* net_port) override {
    const servent* found = ::getservbyname(service, "tcp");
    if (!found) return -1;
    *net_port = static_cast<std::uint16_t>(found->s_port);
    return 0;
  }
};

// Never destroyed: the server thread may still be in a socket call while the
// process runs its exit handlers.
WindowsNet* windows_net() {
  static WindowsNet* instance = new WindowsNet;
  return instance;
}

std::atomic<Net*> replacement_net{nullptr};

}  // namespace

int errno_from_winsock(int wsa_error) {
  for (const WinsockError& entry : WINSOCK_ERRORS) {
    if (entry.wsa_error == wsa_error) return entry.error;
  }
  return EIO;
}

int connect_address(std::uint32_t net_address, std::uint16_t port, int timeout_ms) {
  UniqueSocket sock(windows_net()->tcp_socket());
  if (!sock.valid()) return -1;
  // Non-blocking while connecting, so the wait can be bounded.
  u_long non_blocking = 1;
  if (::ioctlsocket(as_socket(sock.get()), SET_NON_BLOCKING, &non_blocking) != 0) return fail();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = net_address;
  if (::connect(as_socket(sock.get()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) !=
      0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return fail();
    // Writable once connected; in the exception set when refused.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(as_socket(sock.get()), &writable);
    FD_SET(as_socket(sock.get()), &failed);
    timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int ready = ::select(0, nullptr, &writable, &failed, timeout_ms >= 0 ? &timeout : nullptr);
    if (ready == SOCKET_ERROR) return fail();
    if (ready == 0) {
      errno = ETIMEDOUT;
      return -1;
    }
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(as_socket(sock.get()), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &size) != 0) {
      return fail();
    }
    if (error != 0) {
      errno = errno_from_winsock(error);
      return -1;
    }
  }
  // The connection blocks from here on; readers bound their own waits.
  u_long blocking = 0;
  if (::ioctlsocket(as_socket(sock.get()), SET_NON_BLOCKING, &blocking) != 0) return fail();
  windows_net()->set_option(sock.get(), IPPROTO_TCP, TCP_NODELAY, 1);
  return sock.release();
}

int start_socket_library() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 0), &data) == 0 ? 0 : -1;
}

void stop_socket_library() { ::WSACleanup(); }

void close_socket(int sock) {
  ErrnoKeeper keep_errno;
  ::closesocket(as_socket(sock));
}

Net& net() {
  Net* fake = replacement_net.load(std::memory_order_acquire);
  return fake ? *fake : *windows_net();
}

Net& system_net() { return *windows_net(); }

void set_net(Net* replacement) { replacement_net.store(replacement, std::memory_order_release); }

}  // namespace platform
