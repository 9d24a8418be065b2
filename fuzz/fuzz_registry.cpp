// The registry as other processes may leave it: the input is written over the
// whole shared object (4096 bytes, zero-filled past the input), then the server
// registers its name and withdraws it again. Both are checked against what the
// registry held before: slots that hold the name are dead servers' (no port
// answers here) and are withdrawn, then the lowest free slot is claimed and
// carries the name and the listener's port, the other slots in use are
// untouched, and the withdrawal clears exactly the slot that was published.
//
// "No port answers" holds only where nothing listens: the target runs in a
// network namespace of its own when it may make one, since any
// listener of this user on the machine, on a port an input names, is a live
// server holding the name and rightly refuses the registration.

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/net.h"
#include "platform/shared_memory.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"
#include "protocol/wire.h"
#include "server/capture_server.h"
#include "server/listener.h"
#include "server/registry.h"

namespace {

std::string g_object_name;
// Another holder of the registry, as a client process would be; it writes the
// contents of each input through a view of its own.
SocketRegistry* g_other_view = nullptr;

void remove_object() { ::shm_unlink(g_object_name.c_str()); }

// A failed check aborts through libFuzzer's crash handler, which skips atexit:
// the object is removed here so that no failure leaves one in /dev/shm.
void fail(const char* what) {
  std::fprintf(stderr, "fuzz_registry: %s\n", what);
  remove_object();
  std::abort();
}

bool write_own_proc_file(const char* path, const std::string& text) {
  int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

bool bring_loopback_up() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return up;
}

// A network namespace with its loopback up; where the loopback cannot be
// brought up (no right to), back to the machine's network and false.
bool enter_network_namespace() {
  int machine_network = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  if (machine_network < 0) return false;
  bool entered = ::unshare(CLONE_NEWNET) == 0;
  if (entered && !bring_loopback_up()) {
    entered = false;
    if (::setns(machine_network, CLONE_NEWNET) != 0) fail("cannot return to the machine's network");
  }
  ::close(machine_network);
  return entered;
}

// A user namespace in which this user is itself, so the registry's owner
// checks see the same ids; in it, any user may make a network namespace.
bool enter_own_user_namespace() {
  const std::string uid = std::to_string(::geteuid());
  const std::string gid = std::to_string(::getegid());
  if (::unshare(CLONE_NEWUSER) != 0) return false;
  if (!write_own_proc_file("/proc/self/setgroups", "deny") ||
      !write_own_proc_file("/proc/self/uid_map", uid + " " + uid + " 1") ||
      !write_own_proc_file("/proc/self/gid_map", gid + " " + gid + " 1")) {
    fail("cannot map this user into a user namespace of its own");
  }
  return true;
}

// A network namespace of our own, where nothing listens: as root directly,
// as any other user (or root without the rights) through a user namespace.
bool enter_empty_network() {
  return enter_network_namespace() || (enter_own_user_namespace() && enter_network_namespace());
}

// The lowest slot in use whose 108 name bytes hold exactly name; -1 if none.
int slot_holding(const SocketRegistry& registry, const char* name) {
  std::size_t length = std::strlen(name);
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (!((registry.used >> i) & 1u)) continue;
    if (std::memcmp(registry.slots[i].name, name, length + 1) == 0) return i;
  }
  return -1;
}

int lowest_free_slot(std::uint32_t used) {
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (!((used >> i) & 1u)) return i;
  }
  return -1;
}

bool same_slot(const RegistrySlot& a, const RegistrySlot& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Slots that hold the name are dead servers' (nothing listens on their ports
// here): the registration withdraws each of them first.
SocketRegistry without_dead_publications(SocketRegistry registry) {
  for (int slot; (slot = slot_holding(registry, DEFAULT_SERVER_NAME)) >= 0;) {
    registry.slots[slot].name[0] = '\0';
    registry.slots[slot].port = 0;
    registry.used &= ~(1u << slot);
  }
  return registry;
}

void check_registration(const SocketRegistry& found, const SocketRegistry& after, int listener) {
  const SocketRegistry before = without_dead_publications(found);
  if (before.used == 0xFFFFFFFFu) {
    if (listener >= 0) fail("a registration that had to be refused succeeded");
    if (after.used != before.used) fail("a refused registration changed the used bits");
    return;
  }
  if (listener < 0) fail("a registration with a free slot failed");
  int slot = lowest_free_slot(before.used);
  if (after.used != (before.used | (1u << slot))) fail("the used bits are not those expected");
  const RegistrySlot& claimed = after.slots[slot];
  if (std::strcmp(claimed.name, DEFAULT_SERVER_NAME) != 0) fail("the claimed slot lacks the name");
  std::uint16_t port = 0;
  platform::net().local_port(listener, &port);
  if (claimed.port != port) fail("the claimed slot lacks the listener's port");
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (i == slot) continue;
    bool in_use = (before.used >> i) & 1u;
    if (in_use && !same_slot(before.slots[i], after.slots[i])) fail("a slot in use was changed");
    if (!in_use && after.slots[i].name[0] != '\0') fail("a free slot kept a stale name");
  }
}

void check_withdrawal(const SocketRegistry& before, const SocketRegistry& after) {
  int slot = slot_holding(before, DEFAULT_SERVER_NAME);
  if (slot < 0) {
    if (std::memcmp(&before, &after, sizeof before) != 0) fail("withdrawing nothing changed it");
    return;
  }
  if (after.used != (before.used & ~(1u << slot))) fail("the withdrawn bit is not the only change");
  if (after.slots[slot].name[0] != '\0' || after.slots[slot].port != 0) {
    fail("the withdrawn slot was not cleared");
  }
  if (std::memcmp(after.slots[slot].name + 1, before.slots[slot].name + 1,
                  REGISTRY_NAME_SIZE - 1)) {
    fail("the withdrawal changed more than the first name byte");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!enter_empty_network()) {
    std::fprintf(stderr,
                 "fuzz_registry: no network namespace of its own (namespaces are not allowed "
                 "here); a listener of yours on a port an input names makes a false failure\n");
  }
  g_object_name = "/orvandelcaster_fuzz." + std::to_string(::getpid());
  set_registry_object_name(g_object_name.c_str());
  std::atexit(remove_object);
  start_sockets();
  bool existed = false;
  int fd = open_registry_object(g_object_name.c_str(), &existed, nullptr, nullptr);
  if (fd < 0) fail("cannot open the registry");
  void* view = ::mmap(nullptr, REGISTRY_OBJECT_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) fail("cannot map the registry");
  g_other_view = static_cast<SocketRegistry*>(view);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto* page = reinterpret_cast<unsigned char*>(g_other_view);
  std::size_t used = size < REGISTRY_OBJECT_SIZE ? size : REGISTRY_OBJECT_SIZE;
  std::memcpy(page, data, used);
  std::memset(page + used, 0, REGISTRY_OBJECT_SIZE - used);

  SocketRegistry before;
  std::memcpy(&before, g_other_view, sizeof before);
  int listener = open_registry_listener(DEFAULT_SERVER_NAME);
  SocketRegistry registered;
  std::memcpy(&registered, g_other_view, sizeof registered);
  check_registration(before, registered, listener);

  withdraw_registration(DEFAULT_SERVER_NAME);
  SocketRegistry withdrawn;
  std::memcpy(&withdrawn, g_other_view, sizeof withdrawn);
  check_withdrawal(registered, withdrawn);
  if (listener >= 0) ::close(listener);
  return 0;
}
