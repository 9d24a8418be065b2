#include "server/process.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/net.h"
#include "server/capture_server.h"

std::atomic<int> g_sockets_ready{0};

namespace {

std::atomic<bool> g_exiting{false};
std::atomic<ServerExitHandler> g_exit_handler{nullptr};

}  // namespace

bool start_sockets() {
  g_sockets_ready.store(platform::start_socket_library() == 0 ? 1 : 0);
  std::atexit(stop_sockets);
  return g_sockets_ready.load() == 1;
}

void stop_sockets() {
  // Exiting first: a socket call that fails because the library goes away
  // below is the exit's echo, not a failure to report.
  g_exiting.store(true);
  g_sockets_ready.store(0);
  platform::stop_socket_library();
}

bool process_exiting() { return g_exiting.load(); }

void wait_for_process_end() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void set_server_exit_handler(ServerExitHandler handler) { g_exit_handler.store(handler); }

void end_server_process(int status) {
  if (process_exiting()) wait_for_process_end();
  ServerExitHandler handler = g_exit_handler.load();
  if (handler) {
    handler(status);
    wait_for_process_end();
  }
  std::exit(status);
}
