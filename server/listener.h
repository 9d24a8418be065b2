#pragma once

#include <string>

#include "server/process.h"

// Listening for capture clients, in the registry or on a TCP port, and the
// server thread that serves them one at a time. The process state these use
// (sockets ready, exit handler, server name) is in server/process.h.

// Opens the registry for the life of the process and takes the instance lock
// of the server name on it, so that one server per name and user runs: 0, or
// -1 with the line to show ("Orvandelcaster: already running" when another
// instance holds the name). Call it at start-up, before the server thread
// starts and before any window appears. From then on a normal exit (the exit
// handlers) withdraws the server's publication, and the server thread
// publishes nothing after that.
int claim_server_instance(std::string* failure_line);

// The body of the server thread, for the life of the process: listen under the
// server name, accept one client, withdraw the publication, serve the client,
// close, and again. Never returns; ends the process with status 1 when it
// cannot listen or accept. The argument is not used.
[[noreturn]] void server_thread(void* unused);

// Listens under address and accepts one client. "name:port" listens on that
// TCP port or service and publishes nothing; any other address listens on a
// port the system chooses, published in the registry under address until the
// client is accepted. Returns the connected socket (TCP_NODELAY set), or -1
// (errno holds the accept's error when the accept itself failed).
int accept_client(const char* address);

// A socket listening on all local interfaces with backlog 5, on the port of the
// TCP service named service when the system knows one, else on the low 16 bits
// of port. -1 on failure.
int open_port_listener(const char* service, int port);

// A socket listening on 127.0.0.1 on a port the system chooses, published in
// the registry under name (at most 107 characters) in the lowest free slot.
// A slot that holds name already but whose port refuses connections is a dead
// server's and is reclaimed. -1 with errno and the failure context set when the
// sockets are not ready, the registry cannot be opened or locked, name is in
// use (EADDRINUSE), all 32 slots are taken (ENOSPC), or the socket cannot listen.
int open_registry_listener(const char* name);

// Clears our publication of name: the slot that holds name and the port we
// published (for a name we did not publish, the lowest slot that holds it);
// changes nothing without one. -1 with errno and the failure context set when
// the registry cannot be locked or written.
int withdraw_registration(const char* name);
