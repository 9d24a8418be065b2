// A capture client for the window tests, run beside the real program.
//
//   capture_probe serve   connects, runs a whole session, ends it: exit 0 when served
//   capture_probe hold    connects and runs the requests, prints "connected", then
//                         waits for the server to drop the connection: exit 0 when it
//                         closes without another byte
//
// It looks for "Orvandelcaster" in the user's registry and gives up after 10 s
// (hold waits up to 30 s for the drop).

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/window/capture_check.h"

int main(int argc, char** argv) {
  bool hold = argc == 2 && std::strcmp(argv[1], "hold") == 0;
  if (argc != 2 || (!hold && std::strcmp(argv[1], "serve") != 0)) {
    std::fprintf(stderr, "usage: %s serve|hold\n", argv[0]);
    return 2;
  }
  std::string error;
  int sock = connect_to_capture_server("Orvandelcaster", 10000, &error);
  if (sock < 0 || !run_capture_requests(sock, 10000, &error)) {
    std::fprintf(stderr, "capture_probe: %s\n", error.c_str());
    return 1;
  }
  if (!hold) {
    send_end(sock);
    std::printf("served\n");
    return 0;
  }
  std::printf("connected\n");
  std::fflush(stdout);
  if (!wait_for_silent_close(sock, 30000, &error)) {
    std::fprintf(stderr, "capture_probe: %s\n", error.c_str());
    return 1;
  }
  std::printf("dropped\n");
  return 0;
}
