#include "protocol/registry_io.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error_text.h"
#include "platform/net.h"
#include "platform/outside_text.h"
#include "platform/shared_memory.h"

namespace {

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

}  // namespace

std::string registry_object_name_from_environment() {
  const char* chosen = std::getenv("ORVANDELCASTER_REGISTRY");
  return chosen && *chosen ? chosen : default_registry_object_name();
}

std::string registry_lock_wait_line(const char* prefix, const char* object_name) {
  return std::string(prefix) + ": the registry " + platform::printable_outside_text(object_name) +
         " is locked by another process\n";
}

namespace {

// The line that says why object_name could not be opened (errno error): one
// that names it, what is wrong and, for an object the user must remove or
// cannot remove, what to do.
std::string refusal_of(const char* object_name, int error, uid_t owner) {
  // The name comes from the environment, the owner's name from the user
  // database: neither may break the line or push its reason off it.
  const std::string registry = "the registry " + platform::printable_outside_text(object_name);
  if (!platform::usable_object_name(object_name)) {
    return registry + " is not a usable name for a shared-memory object (ORVANDELCASTER_REGISTRY)";
  }
  std::string owner_name, location;
  if (platform::owned_by_another_user(object_name, error, owner, &owner_name, &location)) {
    return registry + " belongs to " + platform::printable_outside_text(owner_name) +
           ", not to you; only that user or an administrator can remove it (" +
           platform::printable_outside_text(location) + ")";
  }
  const std::string place =
      platform::printable_outside_text(platform::shared_object_location(object_name));
  if (error == EMLINK) {
    const unsigned links = platform::shared_object_links(object_name);
    const std::string names = links > 1 ? std::to_string(links) + " names" : "more than one name";
    return registry + " has " + names + ": another file is linked to it; remove " + place +
           " and start again";
  }
  if (error == ENODEV || platform::occupied_by_non_file(object_name)) return registry + " is not a regular file; remove " + place + " and start again";
  return "cannot open " + registry + ": " + platform::error_text_or_number(error);
}

}  // namespace

int open_registry_object(const char* object_name, bool* existed, std::string* why,
                         platform::LockWaitNotice notice) {
  uid_t owner = 0;
  int fd = platform::open_shared_object(object_name, REGISTRY_OBJECT_SIZE, existed, &owner, notice);
  if (fd >= 0 || !why) return fd;
  int error = errno;
  *why = refusal_of(object_name, error, owner);
  errno = error;
  return fd;
}

int open_registry_object_for_reading(const char* object_name, bool* existed, std::string* why,
                                     platform::LockWaitNotice notice) {
  uid_t owner = 0;
  int fd = platform::open_shared_object_for_reading(object_name, existed, &owner, notice);
  if (fd >= 0 || !why) return fd;
  int error = errno;
  *why = refusal_of(object_name, error, owner);
  errno = error;
  return fd;
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
