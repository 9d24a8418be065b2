#pragma once

#include <atomic>
#include <functional>

#include "platform/net.h"

namespace platform {

// A Net for tests: every call goes to the real Linux call unless the test set
// the matching hook, which then answers instead (and may still call system_net()).
// Install with set_net(&fake) before the code under test runs, and uninstall
// (set_net(nullptr)) before the fake goes away; ScopedFakeNet does both.
class FakeNet : public Net {
 public:
  std::function<ssize_t(int fd, void* buf, std::size_t len)> on_recv;
  std::function<ssize_t(int fd, const void* buf, std::size_t len)> on_send;
  // Without this hook but with on_send, a gathered send is played as one send
  // per part through send(), stopping at the first short or failing one, so a
  // test that scripts single sends also scripts gathered ones.
  std::function<ssize_t(int fd, const iovec* parts, int count)> on_send_parts;
  std::function<int(int fd, int timeout_ms)> on_wait_readable;
  std::function<int()> on_tcp_socket;
  std::function<int(int fd, std::uint16_t net_port)> on_bind_any;
  std::function<int(int fd, std::uint16_t net_port)> on_bind_loopback;
  std::function<int(int fd, int backlog)> on_listen;
  std::function<int(int fd)> on_accept;
  std::function<int(int fd, std::uint16_t* net_port)> on_local_port;
  std::function<int(int fd, sockaddr* addr, socklen_t* len)> on_peer_address;
  std::function<int(const sockaddr* addr, socklen_t len, char* host, std::size_t size)>
      on_host_name_of;
  std::function<int(char* host, std::size_t size)> on_local_host_name;
  std::function<int(const char* service, std::uint16_t* net_port)> on_service_port;

  // How often each call was made, hooked or not.
  std::atomic<int> recv_calls{0}, send_calls{0}, send_parts_calls{0}, wait_calls{0},
      socket_calls{0}, bind_calls{0}, listen_calls{0}, accept_calls{0};

  ssize_t recv(int fd, void* buf, std::size_t len) override;
  ssize_t send(int fd, const void* buf, std::size_t len) override;
  ssize_t send_parts(int fd, const iovec* parts, int count) override;
  int wait_readable(int fd, int timeout_ms) override;
  int tcp_socket() override;
  int bind_any(int fd, std::uint16_t net_port) override;
  int bind_loopback(int fd, std::uint16_t net_port) override;
  int listen(int fd, int backlog) override;
  int accept(int fd) override;
  int set_option(int fd, int level, int name, int value) override;
  int local_port(int fd, std::uint16_t* net_port) override;
  int peer_address(int fd, sockaddr* addr, socklen_t* len) override;
  int host_name_of(const sockaddr* addr, socklen_t len, char* host, std::size_t size) override;
  int local_host_name(char* host, std::size_t size) override;
  bool loopback_port_refuses(std::uint16_t net_port, int timeout_ms) override;
  int service_port(const char* service, std::uint16_t* net_port) override;
};

// Installs a FakeNet for the lifetime of the scope.
class ScopedFakeNet : public FakeNet {
 public:
  ScopedFakeNet() { set_net(this); }
  ~ScopedFakeNet() override { set_net(nullptr); }
  ScopedFakeNet(const ScopedFakeNet&) = delete;
  ScopedFakeNet& operator=(const ScopedFakeNet&) = delete;
};

}  // namespace platform
