// The capture client of the window tests, run beside the real program.
//
//   window_client serve   connects, runs a whole session and ends it: exit 0 when served
//   window_client hold    connects and runs the requests, prints "connected", then waits
//                         for the server to drop the connection: exit 0 when it closes
//                         without another byte
//
// It looks for "Orvandelcaster" in the user's registry for up to 10 s; hold
// waits up to 30 s for the drop.

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
  client::Connection connection;
  if (!connect_when_published("Orvandelcaster", 10000, &connection, &error) ||
      !run_capture_requests(connection, &error)) {
    std::fprintf(stderr, "window_client: %s\n", error.c_str());
    return 1;
  }
  if (!hold) {
    connection.end();
    std::printf("served\n");
    return 0;
  }
  std::printf("connected\n");
  std::fflush(stdout);
  if (!wait_for_silent_close(connection, 30000, &error)) {
    std::fprintf(stderr, "window_client: %s\n", error.c_str());
    return 1;
  }
  std::printf("dropped\n");
  return 0;
}
