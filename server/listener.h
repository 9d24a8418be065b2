#pragma once

// Listening for capture clients, in the registry or on a TCP port, and the
// server thread that serves them one at a time. The process state these use
// (sockets ready, exit handler) is in server/process.h; the publication itself
// in server/registry.h.

// The body of the server thread, for the life of the process: listen under the
// instance name, accept one client, withdraw the publication, serve the client,
// close, and again. Never returns; ends the process with status 1 when it
// cannot listen or accept (a registry listener without a free port waits for
// one instead). The argument is not used.
[[noreturn]] void server_thread(void* unused);

// Listens under address and accepts one client. "name:port" listens on that
// TCP port or service and publishes nothing; any other address listens on a
// port the system chooses, published in the registry under address until the
// client is accepted. While it waits, that publication is checked every second
// and made again when lost; while no port is free, it is said once and tried
// again every second. Returns the connected socket (TCP_NODELAY set), or -1
// (errno holds the accept's error when the accept itself failed).
int accept_client(const char* address);

// A socket listening on all local interfaces with backlog 5, on the port of the
// TCP service named service when the system knows one, else on the low 16 bits
// of port. -1 on failure.
int open_port_listener(const char* service, int port);

// A socket listening on 127.0.0.1 on a port the system chooses, published in
// the registry under name by publish_listener (see there for the slot and the
// failures). -1 also when the sockets are not ready.
int open_registry_listener(const char* name);
