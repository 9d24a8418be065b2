#include "server/listener.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/net.h"
#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/wire.h"
#include "server/diagnostics.h"
#include "server/foreign_peers.h"
#include "server/process.h"
#include "server/registry.h"
#include "server/session.h"

namespace {

// How long a starting server waits for the port of a slot that holds its name
// to answer before it counts that server as alive.
constexpr int STALE_PROBE_MS = 1000;

// How long the exit waits for the server thread to leave the registry. It holds
// it for microseconds, unless it waits for a lock another process keeps or for
// a stale port's answer: the exit does not wait for those.
constexpr auto EXIT_REGISTRY_WAIT = std::chrono::milliseconds(200);

// The registry as this process holds it. One mutex guards all of it and every
// registration and withdrawal: the registry's write lock belongs to the open
// file description, so it does not exclude the threads of one process, and
// the withdrawal at exit must not race the server thread's next publication.
// Never destroyed: the server thread may use them while the process runs its
// exit handlers (and a mutex is not trivially destructible everywhere).
std::mutex& g_registry_mutex = *new std::mutex;
int g_registry_fd = -1;                       // held until the process ends
const char* g_registry_fd_object = nullptr;   // the object g_registry_fd holds
std::atomic<bool> g_publishing_ended{false};  // set at exit: nothing is published after
bool g_published = false;                     // our publication, while it stands
char g_published_name[REGISTRY_NAME_SIZE];
std::uint16_t g_published_port = 0;  // network byte order
std::uint16_t g_previous_port = 0;   // the last registry listener's, network byte order

// Reports a failure on standard error, unless the process is already on its
// way out (then the failure is only the exit's echo).
void report_failure() {
  if (process_exiting()) wait_for_process_end();
  report_failure_line(server_name());
}

// The registry descriptor for registry_object_name(), opening and holding it
// on first use; -1 with errno and the failure context set. Registry mutex held.
int registry_descriptor() {
  const char* object = registry_object_name();
  if (g_registry_fd >= 0 && g_registry_fd_object == object) return g_registry_fd;
  bool existed = false;
  std::string why;
  int fd = open_registry_object(object, &existed, &why);
  if (fd < 0) {
    set_failure_context("%s", why.c_str());
    return -1;
  }
  // Only tests switch registries within one process; the one left goes now.
  platform::UniqueSharedObject(g_registry_fd).reset();
  g_registry_fd = fd;
  g_registry_fd_object = object;
  return fd;
}

// The listening socket of the registry form once the slot is chosen: on
// 127.0.0.1 only, as the registry that finds it is this machine's own.
int open_published_socket() {
  platform::UniqueSocket listener(platform::net().tcp_socket());
  if (!listener.valid()) return -1;
  // Each session leaves a TIME_WAIT remnant on its listener's port (the server
  // closes first); with this set, they never keep a later listener off it.
  platform::net().set_option(listener.get(), SOL_SOCKET, SO_REUSEADDR, 1);
  if (platform::net().bind_loopback(listener.get(), 0) < 0) {
    // Once remnants hold every ephemeral port, the system chooses none; the
    // previous port, taken explicitly, is free again with SO_REUSEADDR.
    if (errno != EADDRINUSE || g_previous_port == 0 ||
        platform::net().bind_loopback(listener.get(), g_previous_port) < 0) {
      return -1;
    }
  }
  if (platform::net().listen(listener.get(), 5) < 0) return -1;
  return listener.release();
}

// Claims a slot for name under the write lock: its index, or -1 with errno and
// the failure context set. A slot that already holds name is another server's
// only while its port answers; a refused port is a dead server's, reclaimed.
int claim_slot(int fd, const char* name, SocketRegistry* registry) {
  const char* object = registry_object_name();
  // Each round reclaims one dead slot; there are no more than 32 of them.
  for (int round = 0; round <= REGISTRY_SLOTS; ++round) {
    SocketRegistry before;
    if (!read_registry(fd, &before)) {
      set_failure_context("cannot read the registry %s", object);
      return -1;
    }
    *registry = before;
    int slot = claim_free_slot(registry, name);
    if (!write_blanked_names(fd, before, *registry)) {
      set_failure_context("cannot write the registry %s", object);
      return -1;
    }
    if (slot >= 0) return slot;
    int taken = find_slot(*registry, name);
    if (taken < 0) {
      errno = ENOSPC;
      set_failure_context("all %d slots of the registry %s are in use", REGISTRY_SLOTS, object);
      return -1;
    }
    if (!platform::net().loopback_port_refuses(registry->slots[taken].port, STALE_PROBE_MS)) {
      break;
    }
    if (!write_withdrawal(fd, taken, registry->used)) {
      set_failure_context("cannot write the registry %s", object);
      return -1;
    }
  }
  errno = EADDRINUSE;
  set_failure_context("the name %s is in use in the registry %s", name, object);
  return -1;
}

// Clears our publication of name (only a slot that still holds our name and
// port; a name we did not publish, the lowest slot that holds it): 0, or -1
// with errno and the failure context set. Registry mutex held.
int withdraw_locked(const char* name) {
  const char* object = registry_object_name();
  platform::UniqueSharedObject opened;
  int fd = g_registry_fd_object == object ? g_registry_fd : -1;
  if (fd < 0) {
    bool existed = false;
    opened.reset(open_registry_object(object, &existed, nullptr));
    // A registry nobody held has nothing to withdraw; closing it lets it go again.
    if (!opened.valid() || !existed) return 0;
    fd = opened.get();
  }
  platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET, object, &report_registry_lock_wait);
  if (!write_lock.locked()) {
    set_failure_context("cannot lock the registry %s", object);
    return -1;
  }
  SocketRegistry registry;
  if (!read_registry(fd, &registry)) {
    set_failure_context("cannot read the registry %s", object);
    return -1;
  }
  bool ours = g_published && std::strcmp(g_published_name, name) == 0;
  int slot = ours ? find_publication(registry, name, g_published_port) : find_slot(registry, name);
  if (ours) g_published = false;
  if (slot >= 0 && !write_withdrawal(fd, slot, registry.used)) {
    set_failure_context("cannot write the registry %s", object);
    return -1;
  }
  return 0;
}

// The registry mutex for the exit, within EXIT_REGISTRY_WAIT: true when taken.
// Polled: ThreadSanitizer does not model the timed lock of std::timed_mutex.
bool lock_registry_for_exit() {
  auto deadline = std::chrono::steady_clock::now() + EXIT_REGISTRY_WAIT;
  while (!g_registry_mutex.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Exit handler: our publication goes, and nothing is published after.
void end_publishing() {
  g_publishing_ended.store(true);
  // Still held: the server thread waits for the registry. Either it has nothing
  // published, or it was withdrawing that publication, left behind now as a
  // dead server's slot, which the next start reclaims.
  if (!lock_registry_for_exit()) return;
  std::lock_guard<std::mutex> lock(g_registry_mutex, std::adopt_lock);
  if (g_published) {
    const int saved = errno;
    withdraw_locked(g_published_name);
    errno = saved;
  }
}

// Registers end_publishing once, from the first use of the registry on: it
// runs among the exit handlers, before stop_sockets (registered earlier).
// Registry mutex held.
void withdraw_at_exit() {
  static bool registered = false;
  if (!registered) registered = std::atexit(end_publishing) == 0;
}

}  // namespace

int claim_server_instance(std::string* failure_line) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  withdraw_at_exit();
  clear_failure_context();
  int fd = registry_descriptor();
  if (fd < 0) {
    *failure_line = std::string(DEFAULT_SERVER_NAME) + ": " + failure_context();
    return -1;
  }
  if (platform::try_lock_byte(fd, instance_lock_offset(DEFAULT_SERVER_NAME)) < 0) {
    if (errno == EAGAIN || errno == EACCES) {
      *failure_line = std::string(DEFAULT_SERVER_NAME) + ": already running";
    } else {
      *failure_line = std::string(DEFAULT_SERVER_NAME) + ": cannot lock the registry " +
                      registry_object_name() + ": " + std::strerror(errno);
    }
    return -1;
  }
  return 0;
}

void server_thread(void*) {
  set_server_name(DEFAULT_SERVER_NAME);
  for (;;) {
    clear_failure_context();
    int client = accept_client(server_name());
    if (client < 0) {
      report_failure();
      end_server_process(1);
    }
    // A session's report names its own failure, never one left from before.
    clear_failure_context();
    errno = 0;
    int result = serve_client(client);
    if (result < 0) report_failure();
    platform::close_socket(client);
  }
}

int accept_client(const char* address) {
  const char* colon = std::strchr(address, ':');
  bool registry_form = colon == nullptr;
  platform::UniqueSocket listener(registry_form
                                      ? open_registry_listener(address)
                                      : open_port_listener(colon + 1, std::atoi(colon + 1)));
  if (!listener.valid()) return -1;

  if (platform::net().listen(listener.get(), 1) < 0) {
    set_failure_context("cannot listen for a client");
    if (registry_form) withdraw_registration(address);
    return -1;
  }
  int client = platform::net().accept(listener.get());
  // Another user's connection goes unanswered; the listener and the slot stay.
  while (client >= 0 && registry_form && refuse_foreign_peer(client)) {
    platform::close_socket(client);
    client = platform::net().accept(listener.get());
  }
  int accept_errno = errno;
  if (registry_form && withdraw_registration(address) < 0 && client >= 0) {
    // The session goes on; the dead slot is reclaimed at the next registration.
    report_failure();
  }
  if (client >= 0) platform::net().set_option(client, IPPROTO_TCP, TCP_NODELAY, 1);
  listener.reset();
  // The caller's report must name the accept's error, not one left by the cleanup.
  if (client < 0) set_failure_context("cannot accept a client");
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
  platform::UniqueSocket listener(platform::net().tcp_socket());
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
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  // Only the exit handlers end publishing: the process is on its way out.
  if (g_publishing_ended) wait_for_process_end();
  int fd = registry_descriptor();
  if (fd < 0) return -1;
  const char* object = registry_object_name();

  platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET, object, &report_registry_lock_wait);
  if (!write_lock.locked()) {
    set_failure_context("cannot lock the registry %s", object);
    return -1;
  }
  // Someone may have cut the object short; it is a page again before use.
  if (platform::extend_shared(fd, REGISTRY_OBJECT_SIZE) < 0) {
    set_failure_context("cannot extend the registry %s", object);
    return -1;
  }
  SocketRegistry registry;
  int slot = claim_slot(fd, name, &registry);
  if (slot < 0) return -1;
  platform::UniqueSocket listener(open_published_socket());
  if (!listener.valid()) {
    set_failure_context("cannot listen for clients on 127.0.0.1");
    return -1;
  }
  // The exit came while we claimed the slot: it would not withdraw this one.
  if (g_publishing_ended.load()) wait_for_process_end();
  std::uint16_t net_port = 0;
  // Should getsockname fail, the port published is 0, the port that was bound.
  platform::net().local_port(listener.get(), &net_port);
  if (!write_publication(fd, slot, name, net_port, registry.used)) {
    set_failure_context("cannot write the registry %s", object);
    return -1;
  }
  withdraw_at_exit();
  std::memcpy(g_published_name, name, std::strlen(name) + 1);
  g_published_port = net_port;
  g_published = true;
  g_previous_port = net_port;
  return listener.release();
}

int withdraw_registration(const char* name) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  // At exit our publication went already; what holds the name now is not ours.
  if (g_publishing_ended) return 0;
  return withdraw_locked(name);
}
