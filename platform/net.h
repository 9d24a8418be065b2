#pragma once

// The system's socket headers, for every user of the seam: addresses, byte
// order (htonl and friends), IPPROTO_TCP and TCP_NODELAY.
#include <sys/types.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#endif

#include <cstddef>
#include <cstdint>

#include "platform/unique_fd.h"

#ifdef _WIN32
// One part of a gathered send as POSIX describes it; Windows Sockets' WSABUF
// holds the same two things in the other order and narrower.
struct iovec {
  void* iov_base;
  std::size_t iov_len;
};
#endif

namespace platform {

// Readies the process for sockets, once, before any other thread exists: on
// Linux a vanished peer must not raise SIGPIPE; Windows Sockets 2.0 is started
// (WSAStartup). 0, or -1 when the sockets cannot be used.
int start_socket_library();
// Releases what start_socket_library took (WSACleanup), whether it succeeded or not.
void stop_socket_library();
// Closes a socket (closesocket on Windows, where a socket is no descriptor);
// keeps errno as it was.
void close_socket(int sock);
// Owns one socket and closes it on destruction.
using UniqueSocket = UniqueDescriptor<close_socket>;

// The socket calls the server makes, one system job each, with the POSIX
// contract: -1 and errno on failure (on Windows the socket layer's own error,
// WSAGetLastError, translated: WSAECONNREFUSED is ECONNREFUSED, and so on).
// A socket is an int on both systems: a Windows socket handle is a small kernel
// handle value, and -1 stands for INVALID_SOCKET. The process-wide instance is the Linux one
// unless a test has put a fake in its place.
class Net {
 public:
  virtual ~Net() = default;

  // As recv(2) with no flags: bytes read, 0 when the peer closed, -1 with errno.
  // An interrupted call is retried, so -1 is never EINTR.
  virtual ssize_t recv(int fd, void* buf, std::size_t len) = 0;
  // As send(2) with MSG_NOSIGNAL: a vanished peer gives -1 (EPIPE), never SIGPIPE.
  virtual ssize_t send(int fd, const void* buf, std::size_t len) = 0;
  // As sendmsg(2) of count parts in order, with MSG_NOSIGNAL: the bytes sent,
  // which may end anywhere in any part, or -1 with errno. A header and its
  // payload handed over in one call leave in one segment.
  virtual ssize_t send_parts(int fd, const iovec* parts, int count) = 0;
  // Waits up to timeout_ms for fd to become readable (poll): 1 when readable
  // or when the peer hung up or failed, 0 on time-out (also when a signal cut
  // the wait short), -1 with errno.
  virtual int wait_readable(int fd, int timeout_ms) = 0;

  // A close-on-exec IPv4 stream socket.
  virtual int tcp_socket() = 0;
  // Binds to INADDR_ANY and net_port (network byte order; 0 lets the system choose).
  virtual int bind_any(int fd, std::uint16_t net_port) = 0;
  // Binds to 127.0.0.1 and net_port (network byte order; 0 lets the system choose).
  virtual int bind_loopback(int fd, std::uint16_t net_port) = 0;
  virtual int listen(int fd, int backlog) = 0;
  // A close-on-exec connected socket, or -1 with errno.
  virtual int accept(int fd) = 0;
  virtual int set_option(int fd, int level, int name, int value) = 0;
  // The port fd is bound to, in network byte order (getsockname).
  virtual int local_port(int fd, std::uint16_t* net_port) = 0;

  // getpeername into storage; *len holds the room on entry and the address
  // length on return.
  virtual int peer_address(int fd, sockaddr* addr, socklen_t* len) = 0;
  // Reverse lookup of an address (getnameinfo with NI_NAMEREQD): 0 and the
  // name, or -1 when the address has no name.
  virtual int host_name_of(const sockaddr* addr, socklen_t len, char* host, std::size_t size) = 0;
  // This machine's own name (gethostname).
  virtual int local_host_name(char* host, std::size_t size) = 0;
  // Whether a connection to net_port on 127.0.0.1 is refused: true when nothing
  // listens there or another user's socket does (not ours to keep off); false when something answered, did not answer within
  // timeout_ms, or the attempt failed otherwise.
  virtual bool loopback_port_refuses(std::uint16_t net_port, int timeout_ms) = 0;
  // The port of a TCP service known to the system, in network byte order:
  // 0 and the port, or -1 when there is no such service.
  virtual int service_port(const char* service, std::uint16_t* net_port) = 0;
};

// A blocking connection to 127.0.0.1:port (host order) with TCP_NODELAY set,
// made directly (never through a fake). With timeout_ms of 0 or more it gives
// up after that long with ETIMEDOUT: a listener whose queue is full never
// answers, and the system would retry for minutes. -1 with errno on failure.
int connect_loopback(std::uint16_t port, int timeout_ms = -1);
// The same to the IPv4 address net_address (network byte order).
int connect_address(std::uint32_t net_address, std::uint16_t port, int timeout_ms = -1);
// The IPv4 address of host, a dotted address or a name the system resolves:
// 0 and *net_address (network byte order), or -1 when it has none.
int resolve_ipv4(const char* host, std::uint32_t* net_address);

Net& net();
// The Linux calls themselves, whatever net() currently gives (fakes forward to it).
Net& system_net();
// Tests only: puts a fake in place of the Linux calls; nullptr puts them back.
void set_net(Net* replacement);

}  // namespace platform
