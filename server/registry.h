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

// Registrations and withdrawals by cooperating processes exclude each other
// with a lock on the registry's last byte; readers take no such lock.
inline constexpr off_t REGISTRY_WRITE_LOCK_OFFSET = REGISTRY_OBJECT_SIZE - 1;

// One live server per name: while a server runs it holds a write lock on the
// byte at this offset of its registry, past the page and derived from its name,
// so servers, clients and tools that share this definition agree on it. The
// kernel drops the lock with its holder, so a crash never leaves it behind.
off_t instance_lock_offset(const char* name);

// "/Capture_Unix_Socket_Share.<uid>": one registry per user.
std::string default_registry_object_name();
// The name of the shared-memory object this process opens: one set with
// set_registry_object_name, else the environment's ORVANDELCASTER_REGISTRY
// (so tests and trials never touch the user's own), else the default.
const char* registry_object_name();
void set_registry_object_name(const char* name);

// Names what a line about the registry begins with ("Orvandelcaster" unless a
// tool sets its own): used by the one-time notice of a lock held too long.
void set_registry_report_prefix(const char* prefix);
// Writes "<prefix>: the registry <object> is locked by another process" to
// standard error: a wait for the registry has passed five seconds and goes on.
void report_registry_lock_wait(const char* object_name);

// Opens and holds the registry object (see platform::open_shared_object): the
// descriptor, or -1 with errno and, in *why when given, one line that names the
// object, what is wrong and, for an object another user owns, what to do.
int open_registry_object(const char* object_name, bool* existed, std::string* why);
// The same for registry_object_name().
int open_registry(bool* existed, std::string* why = nullptr);

// The registry's operations on a copy of its layout (pure, no I/O).

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

// The registry object itself, read and written with pread/pwrite on one
// descriptor (no view stays mapped, so no change of its size by another
// process can raise a signal). False with errno on failure.

// A copy of the layout: the used word first, then the slots, so that a set bit
// never shows a slot older than the publication that set it.
bool read_registry(int fd, SocketRegistry* copy);
// Writes the first name byte of each slot that claim_free_slot blanked in
// after but that held a name in before.
bool write_blanked_names(int fd, const SocketRegistry& before, const SocketRegistry& after);
// Writes name, then port, then used | bit, each ordered after the one before
// for other processes.
bool write_publication(int fd, int index, const char* name, std::uint16_t net_port,
                       std::uint32_t used);
// Clears the first name byte, then the port, then the bit, in that order.
bool write_withdrawal(int fd, int index, std::uint32_t used);
