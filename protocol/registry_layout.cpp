#include "protocol/registry_layout.h"

#include <cstring>

#include "platform/shared_memory.h"

std::string default_registry_object_name() {
  return platform::user_object_name("Capture_Unix_Socket_Share");
}

off_t instance_lock_offset(const char* name) {
  // FNV-1a over the name's bytes, kept well inside the range of a lock offset.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char* c = name; *c; ++c) {
    hash ^= static_cast<unsigned char>(*c);
    hash *= 1099511628211ull;
  }
  return static_cast<off_t>(REGISTRY_OBJECT_SIZE + (hash >> 24));
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
