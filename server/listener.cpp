#include "server/listener.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/net.h"
#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "server/diagnostics.h"
#include "server/process.h"
#include "server/registry.h"
#include "server/session.h"

namespace {

// The registry descriptor, opened at the first registration and held (with
// its shared lock) until the process ends, so the publications outlive every
// registration call. A plain int: nothing may tear it down at exit.
int g_registry_fd = -1;

// Reports a failure on standard error with the errno text, unless the process
// is already on its way out (then the failure is only the exit's echo).
void report_failure() {
  if (process_exiting()) wait_for_process_end();
  post_diagnostic(-1, DIAG_SOCKET_ERROR, server_name(), nullptr);
}

// The server's registry descriptor, opening it on first use. *opened_now tells
// whether this call opened it, so a failure can release it again.
int registry_descriptor(bool* existed, bool* opened_now) {
  *opened_now = false;
  if (g_registry_fd >= 0) {
    *existed = true;
    return g_registry_fd;
  }
  int fd = open_registry(existed);
  if (fd >= 0) {
    g_registry_fd = fd;
    *opened_now = true;
  }
  return fd;
}

void release_new_registry_descriptor(bool opened_now) {
  if (!opened_now) return;
  platform::UniqueFd(g_registry_fd).reset();
  g_registry_fd = -1;
}

// The listening socket of the registry form once the slot is chosen.
int open_published_socket() {
  platform::UniqueFd listener(platform::net().tcp_socket());
  if (!listener.valid()) return -1;
  if (platform::net().bind_any(listener.get(), 0) < 0) return -1;
  if (platform::net().listen(listener.get(), 5) < 0) return -1;
  return listener.release();
}

}  // namespace

void server_thread(void*) {
  set_server_name(DEFAULT_SERVER_NAME);
  for (;;) {
    int client = accept_client(server_name());
    if (client < 0) {
      report_failure();
      end_server_process(1);
    }
    int result = serve_client(client);
    if (result < 0) report_failure();
    ::close(client);
  }
}

int accept_client(const char* address) {
  const char* colon = std::strchr(address, ':');
  bool registry_form = colon == nullptr;
  platform::UniqueFd listener(registry_form ? open_registry_listener(address)
                                : open_port_listener(colon + 1, std::atoi(colon + 1)));
  if (!listener.valid()) return -1;

  if (platform::net().listen(listener.get(), 1) < 0) {
    if (registry_form) withdraw_registration(address);
    return -1;
  }
  int client = platform::net().accept(listener.get());
  int accept_errno = errno;
  if (registry_form) withdraw_registration(address);
  if (client >= 0) platform::net().set_option(client, IPPROTO_TCP, TCP_NODELAY, 1);
  listener.reset();
  // The caller's report must name the accept's error, not one left by the cleanup.
  errno = accept_errno;
  return client;
}

int open_port_listener(const char* service, int port) {
  if (!g_sockets_ready.load()) return -1;
  auto net_port = htons(static_cast<std::uint16_t>(port));
  std::uint16_t service_port;
  if (service && platform::net().service_port(service, &service_port) == 0) {
    net_port = service_port;
  }
  platform::UniqueFd listener(platform::net().tcp_socket());
  if (!listener.valid()) return -1;
  // A fixed port must be bindable again at once by the next cycle.
  platform::net().set_option(listener.get(), SOL_SOCKET, SO_REUSEADDR, 1);
  if (platform::net().bind_any(listener.get(), net_port) < 0) return -1;
  if (platform::net().listen(listener.get(), 5) < 0) return -1;
  return listener.release();
}

int open_registry_listener(const char* name) {
  if (!g_sockets_ready.load()) return -1;
  if (std::strlen(name) >= REGISTRY_NAME_SIZE) {
    errno = ENAMETOOLONG;
    return -1;
  }
  bool existed = false;
  bool opened_now = false;
  int fd = registry_descriptor(&existed, &opened_now);
  if (fd < 0) return -1;

  int listener = -1;
  {
    platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET);
    platform::MappedRegion view(fd, REGISTRY_OBJECT_SIZE);
    auto* registry = static_cast<SocketRegistry*>(view.get());
    int slot = -1;
    if (registry) {
      if (!existed) registry->used = 0;
      slot = claim_free_slot(registry, name);
    }
    if (slot >= 0) listener = open_published_socket();
    if (listener >= 0) {
      std::uint16_t net_port = 0;
      // Should getsockname fail, the port published is 0, the port that was bound.
      platform::net().local_port(listener, &net_port);
      publish_slot(registry, slot, name, net_port);
    }
  }
  if (listener < 0) release_new_registry_descriptor(opened_now);
  return listener;
}

void withdraw_registration(const char* name) {
  platform::UniqueFd opened;
  int fd = g_registry_fd;
  if (fd < 0) {
    bool existed = false;
    opened.reset(open_registry(&existed));
    // A registry nobody held has nothing to withdraw; closing it lets it go again.
    if (!opened.valid() || !existed) return;
    fd = opened.get();
  }
  platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET);
  platform::MappedRegion view(fd, REGISTRY_OBJECT_SIZE);
  auto* registry = static_cast<SocketRegistry*>(view.get());
  if (!registry) return;
  int slot = find_slot(registry, name);
  if (slot >= 0) clear_slot(registry, slot);
}
