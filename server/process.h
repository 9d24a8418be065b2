#pragma once

#include <atomic>

// The server's life within its process, as the server's own modules see it:
// whether sockets may be used, and how the server thread ends the process.
// Its name is the instance's (server/instance_name.h). What the hosting
// program calls is in server/capture_server.h.

// 1 while the sockets are ready (from start_sockets, in server/capture_server.h,
// until stop_sockets); while it is 0 both listeners fail at once.
extern std::atomic<int> g_sockets_ready;

// Exit handler: clears g_sockets_ready. From then on the server thread no
// longer reports failures or ends the process itself: the process is ending.
void stop_sockets();
// True once stop_sockets has run: the process is on its way out.
bool process_exiting();
// Waits for the end of a process that is already exiting.
[[noreturn]] void wait_for_process_end();

// Ends the process with status from the server thread, through the handler
// installed with set_server_exit_handler (server/capture_server.h), or waits
// for the end when the process is already exiting.
[[noreturn]] void end_server_process(int status);
