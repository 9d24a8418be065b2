#include "server/process.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "protocol/codec.h"

std::atomic<int> g_sockets_ready{0};

namespace {

char g_server_name[SERVER_NAME_SIZE];
std::atomic<bool> g_exiting{false};
std::atomic<ServerExitHandler> g_exit_handler{nullptr};

}  // namespace

const char* server_name() { return g_server_name; }

void set_server_name(const char* name) { copy_text_field(g_server_name, SERVER_NAME_SIZE, name); }

void start_sockets() {
  std::signal(SIGPIPE, SIG_IGN);
  g_sockets_ready.store(1);
  std::atexit(stop_sockets);
}

void stop_sockets() {
  g_exiting.store(true);
  g_sockets_ready.store(0);
}

bool process_exiting() { return g_exiting.load(); }

void wait_for_process_end() {
  for (;;) ::pause();
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
