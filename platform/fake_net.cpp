#include "platform/fake_net.h"

namespace platform {

ssize_t FakeNet::recv(int fd, void* buf, std::size_t len) {
  ++recv_calls;
  return on_recv ? on_recv(fd, buf, len) : system_net().recv(fd, buf, len);
}

ssize_t FakeNet::send(int fd, const void* buf, std::size_t len) {
  ++send_calls;
  return on_send ? on_send(fd, buf, len) : system_net().send(fd, buf, len);
}

ssize_t FakeNet::send_parts(int fd, const iovec* parts, int count) {
  ++send_parts_calls;
  if (on_send_parts) return on_send_parts(fd, parts, count);
  if (!on_send) return system_net().send_parts(fd, parts, count);
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (parts[i].iov_len == 0) continue;
    ssize_t n = send(fd, parts[i].iov_base, parts[i].iov_len);
    // As sendmsg: bytes already sent are reported, a failure only when none were.
    if (n <= 0) return total > 0 ? total : n;
    total += n;
    if (static_cast<std::size_t>(n) < parts[i].iov_len) break;
  }
  return total;
}

int FakeNet::wait_readable(int fd, int timeout_ms) {
  ++wait_calls;
  return on_wait_readable ? on_wait_readable(fd, timeout_ms)
                          : system_net().wait_readable(fd, timeout_ms);
}

int FakeNet::tcp_socket() {
  ++socket_calls;
  return on_tcp_socket ? on_tcp_socket() : system_net().tcp_socket();
}

int FakeNet::bind_any(int fd, std::uint16_t net_port) {
  ++bind_calls;
  return on_bind_any ? on_bind_any(fd, net_port) : system_net().bind_any(fd, net_port);
}

int FakeNet::bind_loopback(int fd, std::uint16_t net_port) {
  ++bind_calls;
  return on_bind_loopback ? on_bind_loopback(fd, net_port)
                          : system_net().bind_loopback(fd, net_port);
}

bool FakeNet::loopback_port_refuses(std::uint16_t net_port, int timeout_ms) {
  return system_net().loopback_port_refuses(net_port, timeout_ms);
}

int FakeNet::listen(int fd, int backlog) {
  ++listen_calls;
  return on_listen ? on_listen(fd, backlog) : system_net().listen(fd, backlog);
}

int FakeNet::accept(int fd) {
  ++accept_calls;
  return on_accept ? on_accept(fd) : system_net().accept(fd);
}

int FakeNet::set_option(int fd, int level, int name, int value) {
  return system_net().set_option(fd, level, name, value);
}

int FakeNet::local_port(int fd, std::uint16_t* net_port) {
  return on_local_port ? on_local_port(fd, net_port) : system_net().local_port(fd, net_port);
}

int FakeNet::peer_address(int fd, sockaddr* addr, socklen_t* len) {
  return on_peer_address ? on_peer_address(fd, addr, len)
                         : system_net().peer_address(fd, addr, len);
}

int FakeNet::host_name_of(const sockaddr* addr, socklen_t len, char* host, std::size_t size) {
  return on_host_name_of ? on_host_name_of(addr, len, host, size)
                         : system_net().host_name_of(addr, len, host, size);
}

int FakeNet::local_host_name(char* host, std::size_t size) {
  return on_local_host_name ? on_local_host_name(host, size)
                            : system_net().local_host_name(host, size);
}

int FakeNet::service_port(const char* service, std::uint16_t* net_port) {
  return on_service_port ? on_service_port(service, net_port)
                         : system_net().service_port(service, net_port);
}

}  // namespace platform
