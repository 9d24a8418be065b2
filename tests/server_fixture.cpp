// A server process without a window, for end-to-end tests: runs the real
// server thread until SIGTERM or SIGINT, then exits with status 0.
//
//   server_fixture [--registry NAME]
//
// --registry makes it publish in the shared-memory object NAME instead of the
// user's registry, so tests never meet a real server or each other.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "joystick/joystick.h"
#include "server/listener.h"
#include "server/registry.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--registry") == 0 && i + 1 < argc) {
      set_registry_object_name(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--registry NAME]\n", argv[0]);
      return 2;
    }
  }
  // Only this thread takes the stop signals; the server thread inherits the mask.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  start_sockets();
  platform::JoyCaps caps{};
  fix_axis_scale(&caps);
  std::thread(server_thread, nullptr).detach();

  int signal_number = 0;
  sigwait(&stop, &signal_number);
  return 0;
}
