#pragma once

#include <atomic>

// The server's life within its process: its name, whether sockets may be
// used, and how the server thread ends the process.

// The server's address and name: "Orvandelcaster", set when the server thread
// starts. It is the name published in the registry, the prefix of the server's
// diagnostics and the name in MSG_SERVER_INFO.
inline constexpr int SERVER_NAME_SIZE = 80;
const char* server_name();
void set_server_name(const char* name);

// 1 while the sockets are ready (from start_sockets until stop_sockets);
// while it is 0 both listeners fail at once.
extern std::atomic<int> g_sockets_ready;

// Readies the process for sockets: ignores SIGPIPE, sets g_sockets_ready and
// registers stop_sockets as an exit handler. Runs once, before any other thread.
void start_sockets();
// Exit handler: clears g_sockets_ready. From then on the server thread no
// longer reports failures or ends the process itself: the process is ending.
void stop_sockets();
// True once stop_sockets has run: the process is on its way out.
bool process_exiting();
// Waits for the end of a process that is already exiting.
[[noreturn]] void wait_for_process_end();

// How the server thread ends the process. The default is std::exit; a program
// with a window installs a handler that has its main thread end with that
// status instead, so that two threads never race through the exit. A handler
// may return: the server thread then waits until the process has ended.
using ServerExitHandler = void (*)(int status);
void set_server_exit_handler(ServerExitHandler handler);

// Ends the process with status from the server thread, through the installed
// handler, or waits for the end when the process is already exiting.
[[noreturn]] void end_server_process(int status);
