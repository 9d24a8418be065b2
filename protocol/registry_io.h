#pragma once

#include <cstdint>
#include <string>

#include "protocol/registry_layout.h"

// The registry object as servers, clients and tools open, read and write it:
// every opener checks the object is its own, and the bytes go through pread
// and pwrite on one descriptor, so no view stays mapped and no change of its
// size by another process can raise a signal.

// The object a process uses unless told otherwise: the environment's
// ORVANDELCASTER_REGISTRY (so tests and trials never touch a user's own),
// else default_registry_object_name().
std::string registry_object_name_from_environment();

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
// The same for a process that only reads the registry (see
// platform::open_shared_object_for_reading): never created or written; -1 with
// errno ENOENT when it is missing. *existed false: nobody holds it,
// so it holds no publication.
int open_registry_object_for_reading(const char* object_name, bool* existed, std::string* why);

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
