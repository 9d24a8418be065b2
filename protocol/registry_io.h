#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_memory.h"
#include "protocol/registry_layout.h"

// The registry object as servers, clients and tools open, read and write it:
// every opener checks the object is its own, and the bytes go through pread
// and pwrite on one descriptor, so no view stays mapped and no change of its
// size by another process can raise a signal.

// The object a process uses unless told otherwise: the environment's
// ORVANDELCASTER_REGISTRY (so tests and trials never touch a user's own),
// else default_registry_object_name().
std::string registry_object_name_from_environment();

// "<prefix>: the registry <object> is locked by another process" and a line
// feed: what a program says once a wait for the registry has passed five
// seconds and goes on. Each program says it through its own notice (prefix is
// its name), passed to the calls below that may wait.
std::string registry_lock_wait_line(const char* prefix, const char* object_name);

// Opens and holds the registry object (see platform::open_shared_object): the
// descriptor, or -1 with errno and, in *why when given, one line that names the
// object, what is wrong and, for an object another user owns, what to do. A
// long wait for another holder is told to notice (none when null).
int open_registry_object(const char* object_name, bool* existed, std::string* why,
                         platform::LockWaitNotice notice);
// The same for a process that only reads the registry (see
// platform::open_shared_object_for_reading): never created or written; -1 with
// errno ENOENT when it is missing. *existed false: nobody holds it,
// so it holds no publication.
int open_registry_object_for_reading(const char* object_name, bool* existed, std::string* why,
                                     platform::LockWaitNotice notice);

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
