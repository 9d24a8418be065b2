#pragma once

#include <string>

#include "platform/joystick_device.h"
#include "server/instance_name.h"

// The server as the program that hosts it sees it (app/ and win32/ use no
// other header of server/): read the instance's settings, ready the sockets,
// claim the instance, say how the server thread ends the process, start the
// server. Each is defined in the module that owns it (process, registry,
// publication_notice, capture_server); the instance's settings and name are
// server/instance_name.h's, included here.

// Readies the process for sockets: ignores SIGPIPE, starts the socket library
// and registers stop_sockets as an exit handler. Runs once, before any other
// thread. True when the sockets are ready; without them the server can only
// fail to listen.
bool start_sockets();

// Opens the registry for the life of the process and takes the instance lock
// of the instance's name on it, so that one server per name and user runs: 0, or
// -1 with the line to show ("NAME: already running" when another instance
// holds the name). Call it at start-up, before the server starts and
// before any window appears. From then on a normal exit (the exit handlers)
// withdraws the server's publication, and the server publishes nothing after.
int claim_server_instance(std::string* failure_line);

// How the server thread ends the process. The default is std::exit; a program
// with a window installs a handler that has its main thread end with that
// status instead, so that two threads never race through the exit. A handler
// may return: the server thread then waits until the process has ended.
using ServerExitHandler = void (*)(int status);
void set_server_exit_handler(ServerExitHandler handler);

// What the hosting program is told, once, after the server's first
// successful publication in the registry (not after the re-publications that
// follow each session): the server's name and the registry object's name, both
// valid for the life of the process. Called on the server thread; the handler
// passes it on to its own thread. None by default.
using FirstPublicationHandler = void (*)(const char* server_name, const char* registry_object);
void set_first_publication_handler(FirstPublicationHandler handler);

// Starts the capture server of this process: reads joystick 0's capabilities
// into *caps and fixes the axis scale from them, then starts the one server
// thread (server_thread), detached and never joined: it serves until the
// process ends. The scale is fixed before the thread exists, so the thread's
// creation orders that write before every read the thread makes.
//
// Later calls fill *caps and fix the scale again but start no second thread.
// True when the server thread runs; false when it could not be started (the
// caller then goes on without a server).
bool start_capture_server(platform::JoystickCapabilities* caps);
