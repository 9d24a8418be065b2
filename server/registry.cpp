#include "server/registry.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/errno_keeper.h"
#include "platform/net.h"
#include "platform/outside_text.h"
#include "platform/shared_memory.h"
#include "platform/standard_error.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"
#include "protocol/wire.h"
#include "server/capture_server.h"
#include "server/instance_name.h"
#include "server/process.h"
#include "server_core/diagnostics.h"

namespace {

// How long a starting server waits for the port of a slot that holds its name
// to answer before it counts that server as alive.
constexpr int STALE_PROBE_MS = 1000;

// How long the exit waits for the server thread to leave the registry. It holds
// it for microseconds, unless it waits for a lock another process keeps or for
// a stale port's answer: the exit does not wait for those.
constexpr auto EXIT_REGISTRY_WAIT = std::chrono::milliseconds(200);

std::atomic<const char*> g_object_name{nullptr};

// One mutex guards all of the below and every registration and withdrawal, so
// the withdrawal at exit never races the server thread's next publication.
// Never destroyed: the server thread may use them while the process runs its
// exit handlers (and a mutex is not trivially destructible everywhere).
std::mutex& g_registry_mutex = *new std::mutex;
int g_registry_fd = -1;                       // held until the process ends
const char* g_registry_fd_object = nullptr;   // the object g_registry_fd holds
std::atomic<bool> g_publishing_ended{false};  // set at exit: nothing is published after
bool g_published = false;                     // our publication, while it stands
char g_published_name[REGISTRY_NAME_SIZE];
std::uint16_t g_published_port = 0;  // network byte order
int g_published_slot = 0;            // where we wrote it last

// The registry's name as a line may show it: it comes from the environment.
std::string shown_object_name() { return platform::printable_outside_text(registry_object_name()); }

// A wait for the registry has passed five seconds and goes on: said once, in
// one write, so the line never mixes with another.
void report_lock_wait(const char* object_name) {
  const std::string line = registry_lock_wait_line(instance_name(), object_name);
  platform::write_standard_error(line.data(), line.size());
}

// The registry descriptor for registry_object_name(), opening and holding it
// on first use; -1 with errno and the failure context set. Registry mutex held.
int registry_descriptor() {
  const char* object = registry_object_name();
  if (g_registry_fd >= 0 && g_registry_fd_object == object) return g_registry_fd;
  bool existed = false;
  std::string why;
  int fd = open_registry_object(object, &existed, &why, &report_lock_wait);
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

// What reopen_removed_registry gives when another instance holds the new registry.
constexpr int ANOTHER_INSTANCE = 2;

// The registry we hold was removed (by hand, or by a logout's clean-up of the
// user's objects): clients find us only through its name, and a second start
// would find it free. Opens it anew, as a start does, and takes the instance
// lock there, the old object let go: 0; ANOTHER_INSTANCE when another instance
// holds that lock already; -1 with errno and the failure context set.
// Registry mutex held.
int reopen_removed_registry() {
  const char* object = registry_object_name();
  bool existed = false;
  std::string why;
  platform::UniqueSharedObject fresh(open_registry_object(object, &existed, &why, &report_lock_wait));
  if (!fresh.valid()) {
    set_failure_context("%s", why.c_str());
    return -1;
  }
  if (platform::try_lock_byte(fresh.get(), instance_lock_offset(instance_name())) < 0) {
    if (errno == EAGAIN || errno == EACCES) return ANOTHER_INSTANCE;
    set_failure_context("cannot lock the registry %s", shown_object_name().c_str());
    return -1;
  }
  platform::UniqueSharedObject(g_registry_fd).reset();
  g_registry_fd = fresh.release();
  return 0;
}

// Claims a slot for name under the write lock: its index, or -1 with errno and
// the failure context set. A slot that already holds name is another server's
// only while its port answers; a refused port is a dead server's, reclaimed.
int claim_slot(int fd, const char* name, SocketRegistry* registry) {
  const std::string shown = shown_object_name();
  const char* object = shown.c_str();
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
  const std::string shown = shown_object_name();
  platform::UniqueSharedObject opened;
  int fd = g_registry_fd_object == object ? g_registry_fd : -1;
  if (fd < 0) {
    bool existed = false;
    opened.reset(open_registry_object(object, &existed, nullptr, &report_lock_wait));
    // A registry nobody held has nothing to withdraw; closing it lets it go again.
    if (!opened.valid() || !existed) return 0;
    fd = opened.get();
  }
  platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET, object, &report_lock_wait);
  if (!write_lock.locked()) {
    set_failure_context("cannot lock the registry %s", shown.c_str());
    return -1;
  }
  SocketRegistry registry;
  if (!read_registry(fd, &registry)) {
    set_failure_context("cannot read the registry %s", shown.c_str());
    return -1;
  }
  bool ours = g_published && std::strcmp(g_published_name, name) == 0;
  int slot = ours ? find_publication(registry, name, g_published_port) : find_slot(registry, name);
  if (ours) g_published = false;
  if (slot >= 0 && !write_withdrawal(fd, slot, registry.used)) {
    set_failure_context("cannot write the registry %s", shown.c_str());
    return -1;
  }
  return 0;
}

// Runs write under the registry's write lock, the object a page again first
// (someone may have cut it short): its result, or -1 with errno and the
// failure context set when the lock cannot be had or the object not extended.
// Registry mutex held.
template <typename Write>
int under_write_lock(int fd, Write write) {
  platform::ByteLock write_lock(fd, REGISTRY_WRITE_LOCK_OFFSET, registry_object_name(),
                                &report_lock_wait);
  if (!write_lock.locked()) {
    set_failure_context("cannot lock the registry %s", shown_object_name().c_str());
    return -1;
  }
  if (platform::extend_shared(fd, REGISTRY_OBJECT_SIZE) < 0) {
    set_failure_context("cannot extend the registry %s", shown_object_name().c_str());
    return -1;
  }
  return write();
}

// Writes name and net_port into the slot claimed for them: the slot, or -1
// with errno and the failure context set. Registry mutex held.
int write_claimed_slot(int fd, int slot, const char* name, std::uint16_t net_port,
                       std::uint32_t used) {
  // The exit came while we claimed the slot: it would not withdraw this one.
  if (g_publishing_ended.load()) wait_for_process_end();
  if (!write_publication(fd, slot, name, net_port, used)) {
    set_failure_context("cannot write the registry %s", shown_object_name().c_str());
    return -1;
  }
  return slot;
}

// Whether our publication still stands where we wrote it, as one read of the
// registry from its start through our slot shows it. Registry mutex held.
bool publication_stands(int fd) {
  SocketRegistry head{};
  const std::size_t through_our_slot =
      offsetof(SocketRegistry, slots) +
      sizeof(RegistrySlot) * static_cast<std::size_t>(g_published_slot + 1);
  // A failed read is no proof of a loss: the check under the lock decides.
  if (!platform::read_shared(fd, &head, through_our_slot, 0)) return false;
  const RegistrySlot& slot = head.slots[g_published_slot];
  return slot_in_use(head, g_published_slot) && slot_name_equals(slot, g_published_name) &&
         slot.port == g_published_port;
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
    platform::ErrnoKeeper keep_errno;
    withdraw_locked(g_published_name);
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

const char* registry_object_name() {
  const char* name = g_object_name.load(std::memory_order_acquire);
  if (name) return name;
  // Built once and never freed: the server may open the registry while the
  // process runs its exit handlers.
  static const char* default_name = [] {
    std::string text = registry_object_name_from_environment();
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  }();
  return default_name;
}

void set_registry_object_name(const char* name) {
  g_object_name.store(name, std::memory_order_release);
}

int claim_server_instance(std::string* failure_line) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  withdraw_at_exit();
  clear_failure_context();
  int fd = registry_descriptor();
  if (fd < 0) {
    *failure_line = std::string(instance_name()) + ": " + failure_context();
    return -1;
  }
  if (platform::try_lock_byte(fd, instance_lock_offset(instance_name())) < 0) {
    if (errno == EAGAIN || errno == EACCES) {
      *failure_line = std::string(instance_name()) + ": already running";
    } else {
      const char* reason = std::strerror(errno);
      *failure_line = std::string(instance_name()) + ": cannot lock the registry " +
                      shown_object_name() + ": " + reason;
    }
    return -1;
  }
  return 0;
}

int publish_listener(const char* name, PublishedSocketOpener open_socket, std::uint16_t* net_port) {
  if (std::strlen(name) >= REGISTRY_NAME_SIZE) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  // Only the exit handlers end publishing: the process is on its way out.
  if (g_publishing_ended) wait_for_process_end();
  int fd = registry_descriptor();
  if (fd < 0) return -1;
  platform::UniqueSocket listener;
  int slot = under_write_lock(fd, [&] {
    SocketRegistry registry;
    int claimed = claim_slot(fd, name, &registry);
    if (claimed < 0) return -1;
    // The socket is made only once the slot is ours: a stale slot's port,
    // probed above, can never be our own listener's.
    listener.reset(open_socket(net_port));
    if (!listener.valid()) return -1;
    return write_claimed_slot(fd, claimed, name, *net_port, registry.used);
  });
  if (slot < 0) return -1;
  withdraw_at_exit();
  std::memcpy(g_published_name, name, std::strlen(name) + 1);
  g_published_port = *net_port;
  g_published_slot = slot;
  g_published = true;
  return listener.release();
}

int restore_publication() {
  std::unique_lock<std::mutex> lock(g_registry_mutex);
  // Only the publication in the registry this process holds can be checked.
  if (!g_published || g_publishing_ended || g_registry_fd < 0 ||
      g_registry_fd_object != registry_object_name()) {
    return 0;
  }
  platform::keep_held_object_private(g_registry_fd);
  if (platform::held_object_removed(g_registry_fd)) {
    const int reopened = reopen_removed_registry();
    if (reopened == ANOTHER_INSTANCE) {
      // It holds the name now, and the instance lock that makes it the only
      // one: we could publish nowhere, so we end as a second start would.
      g_published = false;
      lock.unlock();
      report_line(instance_name(), "already running");
      end_server_process(1);
    }
    if (reopened < 0) return -1;
  }
  const int fd = g_registry_fd;
  if (publication_stands(fd)) return 0;
  // Lost, or seen half-written: the slots are read again under the write lock,
  // where no cooperating server writes, before anything is written.
  return under_write_lock(fd, [&] {
    SocketRegistry registry;
    if (!read_registry(fd, &registry)) {
      set_failure_context("cannot read the registry %s", shown_object_name().c_str());
      return -1;
    }
    int slot = find_publication(registry, g_published_name, g_published_port);
    if (slot >= 0) {
      g_published_slot = slot;
      return 0;
    }
    slot = claim_slot(fd, g_published_name, &registry);
    if (slot < 0 ||
        write_claimed_slot(fd, slot, g_published_name, g_published_port, registry.used) < 0) {
      return -1;
    }
    g_published_slot = slot;
    report_line(instance_name(), "the registry %s lost our publication; published again",
                shown_object_name().c_str());
    return 1;
  });
}

int withdraw_registration(const char* name) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  // At exit our publication went already; what holds the name now is not ours.
  if (g_publishing_ended) return 0;
  return withdraw_locked(name);
}
