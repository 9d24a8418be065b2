#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// The socket calls the server makes, one system job each, with the POSIX
// contract: -1 and errno on failure. The process-wide instance is the Linux one
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
  // listens there; false when something answered, did not answer within
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

Net& net();
// The Linux calls themselves, whatever net() currently gives (fakes forward to it).
Net& system_net();
// Tests only: puts a fake in place of the Linux calls; nullptr puts them back.
void set_net(Net* replacement);

}  // namespace platform
