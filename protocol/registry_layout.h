#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The SocketRegistry: 32 name-to-port slots in named shared memory through which
// capture clients on this machine find a server by its name. Every server and
// client opens the same object; its layout is shared with programs we do not
// build, so every offset and byte order below is fixed.

inline constexpr int REGISTRY_SLOTS = 32;
inline constexpr std::size_t REGISTRY_NAME_SIZE = 108;
// A published name is at most 107 bytes, then its terminating zero.
inline constexpr std::size_t MAX_REGISTERED_NAME = REGISTRY_NAME_SIZE - 1;
// The object is one page; the layout fills its first 3524 bytes.
inline constexpr std::size_t REGISTRY_OBJECT_SIZE = 4096;

struct RegistrySlot {
  char name[REGISTRY_NAME_SIZE];  // zero-terminated; meaningful only while the slot is in use
  std::uint16_t port;             // network byte order, as the socket layer reports it
};

struct SocketRegistry {
  std::uint32_t used;  // machine byte order: bit i set means slot i is in use
  RegistrySlot slots[REGISTRY_SLOTS];
};

static_assert(sizeof(RegistrySlot) == 110);
static_assert(offsetof(SocketRegistry, slots) == 4);
static_assert(sizeof(SocketRegistry) == 3524);
static_assert(sizeof(SocketRegistry) <= REGISTRY_OBJECT_SIZE);

// "/Capture_Unix_Socket_Share.<uid>" on Linux, "Capture_Unix_Socket_Share" in
// the Windows session: one registry per user.
std::string default_registry_object_name();

// Registrations and withdrawals by cooperating processes exclude each other
// with a lock on the registry's last byte; readers take no such lock.
inline constexpr off_t REGISTRY_WRITE_LOCK_OFFSET = REGISTRY_OBJECT_SIZE - 1;

// One live server per name: while a server runs it holds a write lock on the
// byte at this offset of its registry, past the page and derived from its name,
// so servers, clients and tools that share this definition agree on it. The
// kernel drops the lock with its holder, so a crash never leaves it behind.
off_t instance_lock_offset(const char* name);

// The registry's operations on a copy of its bytes, pure functions of them.

// True when slot holds exactly name. Looks only within the slot's 108 bytes,
// so a slot without a terminating zero never matches and is never overread.
bool slot_name_equals(const RegistrySlot& slot, const char* name);
bool slot_in_use(const SocketRegistry& registry, int index);

// Scans all 32 slots for a registration of name: blanks the name of every free
// slot and returns the lowest free slot; -1 when name is already in use (slots
// after it are left as they were) or when all slots are in use.
int claim_free_slot(SocketRegistry* registry, const char* name);

// The lowest slot in use that holds name, or -1.
int find_slot(const SocketRegistry& registry, const char* name);
// The lowest slot in use that holds name and net_port, or -1.
int find_publication(const SocketRegistry& registry, const char* name, std::uint16_t net_port);
