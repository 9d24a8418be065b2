#include "server/listener.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/net.h"
#include "protocol/wire.h"
#include "server/foreign_peers.h"
#include "server/instance_name.h"
#include "server/process.h"
#include "server/publication_notice.h"
#include "server/registry.h"
#include "server/session.h"
#include "server_core/diagnostics.h"

namespace {

// The last registry listener's port, network byte order. Server thread only,
// but atomic: tests open listeners from threads of their own.
std::atomic<std::uint16_t> g_previous_port{0};

// How often a waiting server checks that its publication stands, and how
// often a listener without a free port tries again.
constexpr int PUBLICATION_CHECK_MS = 1000;
constexpr auto PUBLICATION_CHECK = std::chrono::milliseconds(PUBLICATION_CHECK_MS);
constexpr auto NO_PORT_RETRY = std::chrono::seconds(1);

// Set by the last registry listener that failed because no port was free
// (another process may hold them all): that passes, so it is waited out.
thread_local bool t_no_free_port = false;

// Reports a failure on standard error, unless the process is already on its
// way out (then the failure is only the exit's echo).
void report_failure() {
  if (process_exiting()) wait_for_process_end();
  report_failure_line(instance_name());
}

// The listening socket of the registry form once the slot is chosen: on
// 127.0.0.1 only, as the registry that finds it is this machine's own.
int open_published_socket(std::uint16_t* net_port) {
  platform::UniqueSocket listener(platform::net().tcp_socket());
  if (listener.valid()) {
    // Each session leaves a TIME_WAIT remnant on its listener's port (the server
    // closes first); with this set, they never keep a later listener off it.
    platform::net().set_option(listener.get(), SOL_SOCKET, SO_REUSEADDR, 1);
    if (platform::net().bind_loopback(listener.get(), 0) < 0) {
      // Once remnants hold every ephemeral port, the system chooses none; the
      // previous port, taken explicitly, is free again with SO_REUSEADDR.
      const std::uint16_t previous = g_previous_port.load();
      if (errno != EADDRINUSE || previous == 0 ||
          platform::net().bind_loopback(listener.get(), previous) < 0) {
        listener.reset();
      }
    }
  }
  if (!listener.valid() || platform::net().listen(listener.get(), 5) < 0) {
    t_no_free_port = errno == EADDRINUSE || errno == EADDRNOTAVAIL;
    set_failure_context("cannot listen for clients on 127.0.0.1");
    return -1;
  }
  *net_port = 0;
  // Should getsockname fail, the port published is 0, the port that was bound.
  platform::net().local_port(listener.get(), net_port);
  return listener.release();
}

// The registry form's listener, published under name. While no port is free,
// says so once and tries again every second, the name withdrawn meanwhile;
// -1 for any other failure, as open_registry_listener gives it.
int listen_in_registry(const char* name) {
  for (bool reported = false;; reported = true) {
    t_no_free_port = false;
    int listener = open_registry_listener(name);
    if (listener >= 0 || !t_no_free_port) return listener;
    if (!reported) {
      if (process_exiting()) wait_for_process_end();
      report_failure_line(instance_name(), "trying again every second");
    }
    std::this_thread::sleep_for(NO_PORT_RETRY);
  }
}

// When a waiting server checks its publication next, kept across the
// connections it turns away: those must not put the check off.
struct PublicationCheck {
  std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now() + PUBLICATION_CHECK;
  bool failure_reported = false;
};

// Waits until a client is there to accept: 0, or -1 with errno. With a name
// (the registry form), checks every second meanwhile that its publication
// still stands, and restores it when another process of ours lost it; a
// failure to restore it is said once and tried again.
int wait_for_client(int listener, const char* name, PublicationCheck* check) {
  using std::chrono::steady_clock;
  for (;;) {
    int wait_ms = PUBLICATION_CHECK_MS;
    if (name) {
      // Due before any wait: a steady stream of connections must not put it off.
      if (steady_clock::now() >= check->next) {
        check->next = steady_clock::now() + PUBLICATION_CHECK;
        clear_failure_context();
        int restored = restore_publication();
        if (restored < 0 && !check->failure_reported) report_failure();
        check->failure_reported = restored < 0;
      }
      auto left = std::chrono::ceil<std::chrono::milliseconds>(check->next - steady_clock::now());
      wait_ms = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    int ready = platform::net().wait_readable(listener, wait_ms);
    if (ready != 0) return ready > 0 ? 0 : -1;
  }
}

}  // namespace

void server_thread(void*) {
  for (;;) {
    clear_failure_context();
    int client = accept_client(instance_name());
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
                                      ? listen_in_registry(address)
                                      : open_port_listener(colon + 1, std::atoi(colon + 1)));
  if (!listener.valid()) return -1;

  if (platform::net().listen(listener.get(), 1) < 0) {
    set_failure_context("cannot listen for a client");
    if (registry_form) withdraw_registration(address);
    return -1;
  }
  int client = -1;
  PublicationCheck check;
  while (wait_for_client(listener.get(), registry_form ? address : nullptr, &check) == 0) {
    client = platform::net().accept(listener.get());
    // Another user's connection goes unanswered; the listener and the slot stay.
    if (client < 0 || !registry_form || !refuse_foreign_peer(client)) break;
    platform::close_socket(client);
    client = -1;
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
  std::uint16_t net_port = 0;
  int listener = publish_listener(name, &open_published_socket, &net_port);
  if (listener >= 0) {
    g_previous_port.store(net_port);
    notice_publication(name);
  }
  return listener;
}
