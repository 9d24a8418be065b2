#include "protocol/registry_layout.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

// Other processes read the registry while we write it, so each store that they
// may see is ordered with release semantics and each load with acquire.
std::atomic_ref<std::uint32_t> used_word(const SocketRegistry* registry) {
  return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(registry->used));
}

}  // namespace

std::string default_registry_object_name() {
  return "/Capture_Unix_Socket_Share." + std::to_string(::getuid());
}

bool slot_name_equals(const RegistrySlot& slot, const char* name) {
  std::size_t length = std::strlen(name);
  return length < REGISTRY_NAME_SIZE && std::memcmp(slot.name, name, length + 1) == 0;
}

bool slot_in_use(const SocketRegistry* registry, int index) {
  return (used_slots(registry) >> index) & 1u;
}

std::uint32_t used_slots(const SocketRegistry* registry) {
  return used_word(registry).load(std::memory_order_acquire);
}

int claim_free_slot(SocketRegistry* registry, const char* name) {
  std::uint32_t used = used_slots(registry);
  int free_slot = -1;
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (used & (1u << i)) {
      if (slot_name_equals(registry->slots[i], name)) return -1;
    } else {
      // Blanks a stale name left in a free slot.
      registry->slots[i].name[0] = '\0';
      if (free_slot < 0) free_slot = i;
    }
  }
  return free_slot;
}

void publish_slot(SocketRegistry* registry, int index, const char* name, std::uint16_t net_port) {
  RegistrySlot& slot = registry->slots[index];
  std::memcpy(slot.name, name, std::strlen(name) + 1);
  // Each release store keeps every write before it (the name, then the port) ahead of it.
  std::atomic_ref<std::uint16_t>(slot.port).store(net_port, std::memory_order_release);
  used_word(registry).fetch_or(1u << index, std::memory_order_release);
}

int find_slot(const SocketRegistry* registry, const char* name) {
  std::uint32_t used = used_slots(registry);
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if ((used & (1u << i)) && slot_name_equals(registry->slots[i], name)) return i;
  }
  return -1;
}

void clear_slot(SocketRegistry* registry, int index) {
  RegistrySlot& slot = registry->slots[index];
  std::atomic_ref<char>(slot.name[0]).store('\0', std::memory_order_release);
  std::atomic_ref<std::uint16_t>(slot.port).store(0, std::memory_order_release);
  used_word(registry).fetch_and(~(1u << index), std::memory_order_release);
}
