#pragma once

#include <cstdint>

// The registry as this process holds it: the descriptor it opens once and keeps
// until it ends, the server's instance lock (claim_server_instance, declared in
// server/capture_server.h), the publication of the listening port with its
// stale-slot probe, its withdrawal, and the withdrawal at exit. One mutex
// guards all of it: the registry's write lock belongs to the open file
// description, so it does not exclude the threads of one process.

// The name of the shared-memory object this process opens: one set with
// set_registry_object_name, else registry_object_name_from_environment().
const char* registry_object_name();
void set_registry_object_name(const char* name);

// Opens the listening socket for a publication: the socket, with the port it
// listens on (network byte order) in *net_port, or -1 with errno and the
// failure context set.
using PublishedSocketOpener = int (*)(std::uint16_t* net_port);

// Publishes name (at most 107 characters) in the lowest free slot, under the
// registry's write lock: first claims the slot (a slot that holds name already
// is another server's while its port answers; a refused port is a dead
// server's, reclaimed), then has open_socket open the socket whose port it
// writes there. Returns that socket with its port in *net_port, or -1 with
// errno and the failure context set when name is too long (ENAMETOOLONG), the
// registry cannot be opened or locked, name is in use (EADDRINUSE), all 32
// slots are taken (ENOSPC), or the socket cannot be opened. From the first
// publication on, a normal exit (the exit handlers) withdraws it, and nothing
// is published after that.
int publish_listener(const char* name, PublishedSocketOpener open_socket, std::uint16_t* net_port);

// While the server waits for a client: whether our publication still stands,
// checked with one read of the registry. Another process of ours may have
// overwritten or cut the registry; then the publication is made again as
// publish_listener makes it (same name and port, in a slot claimed under the
// write lock from the slots as they are now), and one line on standard error
// says so. 1 when published again; 0 when it stands, or nothing is published;
// -1 with errno and the failure context set when it could not be made again.
int restore_publication();

// Clears our publication of name: the slot that holds name and the port we
// published (for a name we did not publish, the lowest slot that holds it);
// changes nothing without one. -1 with errno and the failure context set when
// the registry cannot be locked or written.
int withdraw_registration(const char* name);
