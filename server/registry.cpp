#include "server/registry.h"

#include <arpa/inet.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/shared_memory.h"

namespace {

std::atomic<const char*> g_object_name{nullptr};
std::atomic<const char*> g_report_prefix{"Orvandelcaster"};

constexpr off_t USED_OFFSET = 0;

off_t slot_offset(int index) {
  return static_cast<off_t>(offsetof(SocketRegistry, slots) +
                            sizeof(RegistrySlot) * static_cast<std::size_t>(index));
}

off_t port_offset(int index) {
  return slot_offset(index) + static_cast<off_t>(offsetof(RegistrySlot, port));
}

// Other processes read the registry while we write it: each write they may see
// is ordered after the ones before it, for the compiler and the processor.
void order_writes() { std::atomic_thread_fence(std::memory_order_release); }

std::string user_name_of(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name) {
    return found->pw_name;
  }
  return "uid " + std::to_string(uid);
}

}  // namespace

off_t instance_lock_offset(const char* name) {
  // FNV-1a over the name's bytes, kept well inside the range of a lock offset.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char* c = name; *c; ++c) {
    hash ^= static_cast<unsigned char>(*c);
    hash *= 1099511628211ull;
  }
  return static_cast<off_t>(REGISTRY_OBJECT_SIZE + (hash >> 24));
}

std::string default_registry_object_name() {
  return "/Capture_Unix_Socket_Share." + std::to_string(::getuid());
}

const char* registry_object_name() {
  const char* name = g_object_name.load(std::memory_order_acquire);
  if (name) return name;
  // Built once and never freed: the server may open the registry while the
  // process runs its exit handlers.
  static const char* default_name = [] {
    const char* chosen = std::getenv("ORVANDELCASTER_REGISTRY");
    std::string text = chosen && *chosen ? chosen : default_registry_object_name();
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  }();
  return default_name;
}

void set_registry_object_name(const char* name) {
  g_object_name.store(name, std::memory_order_release);
}

void set_registry_report_prefix(const char* prefix) { g_report_prefix.store(prefix); }

void report_registry_lock_wait(const char* object_name) {
  std::string line = std::string(g_report_prefix.load()) + ": the registry " + object_name +
                     " is locked by another process\n";
  // One write, so the line never mixes with another.
  [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

int open_registry_object(const char* object_name, bool* existed, std::string* why) {
  uid_t owner = 0;
  int fd = platform::open_shared_object(object_name, REGISTRY_OBJECT_SIZE, existed, &owner,
                                        &report_registry_lock_wait);
  if (fd >= 0 || !why) return fd;
  int error = errno;
  const char* shm_name = object_name[0] == '/' ? object_name + 1 : object_name;
  if (error == EPERM && owner != ::geteuid()) {
    *why = std::string("the registry ") + object_name + " belongs to " + user_name_of(owner) +
           ", not to you; only that user or an administrator can remove it (/dev/shm/" +
           shm_name + ")";
  } else {
    *why = std::string("cannot open the registry ") + object_name + ": " + std::strerror(error);
  }
  errno = error;
  return fd;
}

int open_registry(bool* existed, std::string* why) {
  return open_registry_object(registry_object_name(), existed, why);
}

bool slot_name_equals(const RegistrySlot& slot, const char* name) {
  std::size_t length = std::strlen(name);
  return length < REGISTRY_NAME_SIZE && std::memcmp(slot.name, name, length + 1) == 0;
}

bool slot_in_use(const SocketRegistry& registry, int index) {
  return (registry.used >> index) & 1u;
}

int claim_free_slot(SocketRegistry* registry, const char* name) {
  int free_slot = -1;
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (slot_in_use(*registry, i)) {
      if (slot_name_equals(registry->slots[i], name)) return -1;
    } else {
      // Blanks a stale name left in a free slot.
      registry->slots[i].name[0] = '\0';
      if (free_slot < 0) free_slot = i;
    }
  }
  return free_slot;
}

int find_slot(const SocketRegistry& registry, const char* name) {
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (slot_in_use(registry, i) && slot_name_equals(registry.slots[i], name)) return i;
  }
  return -1;
}

int find_publication(const SocketRegistry& registry, const char* name, std::uint16_t net_port) {
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (slot_in_use(registry, i) && slot_name_equals(registry.slots[i], name) &&
        registry.slots[i].port == net_port) {
      return i;
    }
  }
  return -1;
}

bool read_registry(int fd, SocketRegistry* copy) {
  if (!platform::read_shared(fd, &copy->used, sizeof copy->used, USED_OFFSET)) return false;
  std::atomic_thread_fence(std::memory_order_acquire);
  return platform::read_shared(fd, copy->slots, sizeof copy->slots, slot_offset(0));
}

bool write_blanked_names(int fd, const SocketRegistry& before, const SocketRegistry& after) {
  static const char zero = '\0';
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (before.slots[i].name[0] != '\0' && after.slots[i].name[0] == '\0' &&
        !platform::write_shared(fd, &zero, 1, slot_offset(i))) {
      return false;
    }
  }
  return true;
}

bool write_publication(int fd, int index, const char* name, std::uint16_t net_port,
                       std::uint32_t used) {
  if (!platform::write_shared(fd, name, std::strlen(name) + 1, slot_offset(index))) return false;
  order_writes();
  if (!platform::write_shared(fd, &net_port, sizeof net_port, port_offset(index))) return false;
  order_writes();
  std::uint32_t with_bit = used | (1u << index);
  return platform::write_shared(fd, &with_bit, sizeof with_bit, USED_OFFSET);
}

bool write_withdrawal(int fd, int index, std::uint32_t used) {
  static const char zero = '\0';
  static const std::uint16_t no_port = 0;
  if (!platform::write_shared(fd, &zero, 1, slot_offset(index))) return false;
  order_writes();
  if (!platform::write_shared(fd, &no_port, sizeof no_port, port_offset(index))) return false;
  order_writes();
  std::uint32_t without_bit = used & ~(1u << index);
  return platform::write_shared(fd, &without_bit, sizeof without_bit, USED_OFFSET);
}
