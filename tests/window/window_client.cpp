// The capture client of the window tests, run beside the real program.
//
//   window_client serve   connects, runs a whole session and ends it: exit 0 when served
//   window_client hold    connects and runs the requests, prints "connected", then waits
//                         for the server to drop the connection: exit 0 when it closes
//                         without another byte
//   window_client watch   holds the registry open (as a client or a watching tool does),
//                         prints "holding", and once its stdin ends prints the names
//                         still published, one a line
//   window_client fill    publishes other names in every free slot of the registry
//
// It uses the process's registry (ORVANDELCASTER_REGISTRY, which the window
// tests set) and looks for "Orvandelcaster" there for up to 10 s; hold waits
// up to 30 s for the drop.

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/registry_io.h"
#include "tests/window/capture_check.h"

namespace {

int watch_registry() {
  client::Registry registry;
  if (!registry.open()) {
    std::fprintf(stderr, "window_client: %s\n", registry.error().c_str());
    return 1;
  }
  std::printf("holding\n");
  std::fflush(stdout);
  char ignored[64];
  while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
  }
  for (const client::RegistryEntry& entry : registry.entries())
    std::printf("%s\n", entry.name.c_str());
  return 0;
}

int fill_registry() {
  bool existed = false;
  std::string why;
  const std::string object = registry_object_name_from_environment();
  platform::UniqueFd fd(open_registry_object(object.c_str(), &existed, &why, nullptr));
  if (!fd.valid()) {
    std::fprintf(stderr, "window_client: %s\n", why.c_str());
    return 1;
  }
  platform::ByteLock lock(fd.get(), REGISTRY_WRITE_LOCK_OFFSET, object.c_str(), nullptr);
  SocketRegistry registry;
  if (!lock.locked() || !read_registry(fd.get(), &registry)) return 1;
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (slot_in_use(registry, i)) continue;
    std::string name = "other-" + std::to_string(i);
    if (!write_publication(fd.get(), i, name.c_str(), htons(1), registry.used)) return 1;
    registry.used |= 1u << i;
  }
  std::printf("filled\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
  if (command == "watch") return watch_registry();
  if (command == "fill") return fill_registry();
  bool hold = command == "hold";
  if (!hold && command != "serve") {
    std::fprintf(stderr, "usage: %s serve|hold|watch|fill\n", argv[0]);
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
