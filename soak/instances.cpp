#include "soak/instances.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

#include "client/capture_client.h"

namespace soak {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int WAIT_MS = 10000;
const char ALREADY_RUNNING[] = "Orvandelcaster: already running\n";

pid_t spawn(const char* fixture_path, const std::string& registry, int stderr_fd) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(stderr_fd, STDERR_FILENO);
    ::execl(fixture_path, fixture_path, "--registry", registry.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// The exit status, 128 + the signal when one ended it, -1 after 10 s.
int wait_status(pid_t pid) {
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// Waits until the name is published. After a session this is the new
// publication: the old one was withdrawn when the server accepted the client.
std::optional<std::uint16_t> wait_for_publication(const client::Registry& registry) {
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  while (Clock::now() < deadline) {
    auto port = registry.find("Orvandelcaster");
    if (port) return port;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return std::nullopt;
}

bool serves(std::uint16_t port) {
  client::Connection connection;
  return connection.connect(port, WAIT_MS) && connection.check_version() && connection.end();
}

// Waits until the name's published port serves a session: the port. A dead
// server's port refuses; the system may give the next server that very port.
std::optional<std::uint16_t> wait_until_served(const client::Registry& registry) {
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  while (Clock::now() < deadline) {
    auto port = registry.find("Orvandelcaster");
    if (port && serves(*port)) return port;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return std::nullopt;
}

// Opens the registry as a client holds it, once the first server has made it
// and published: a reader never makes the registry, and one it opened while
// no server held it stays empty for it.
bool open_when_published(const std::string& registry_name,
                         std::optional<client::Registry>* registry) {
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  while (Clock::now() < deadline) {
    registry->emplace();
    if ((*registry)->open(registry_name.c_str()) && (*registry)->find("Orvandelcaster"))
      return true;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

std::string file_text(int fd) {
  std::string text;
  char chunk[256];
  for (off_t at = 0;;) {
    ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
    if (n <= 0) return text;
    text.append(chunk, static_cast<std::size_t>(n));
    at += n;
  }
}

}  // namespace

InstanceCounts soak_instances(const std::string& registry_name, const char* fixture_path,
                              int restarts, int refusals, int seconds) {
  InstanceCounts counts;
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  // The servers' standard error, all in one file, quoted when something fails.
  char errors_path[] = "/tmp/orvandelcaster_soak_servers.XXXXXX";
  int errors = ::mkstemp(errors_path);
  ::unlink(errors_path);
  pid_t server = spawn(fixture_path, registry_name, errors);
  // Held for the whole phase, as a client would hold it: dead slots stay.
  std::optional<client::Registry> held;
  if (!open_when_published(registry_name, &held)) {
    counts.problems["the first server did not publish: " + file_text(errors)]++;
    ::kill(server, SIGKILL);
    wait_status(server);
    ::close(errors);
    return counts;
  }
  const client::Registry& registry = *held;
  for (int i = 0; i < restarts && Clock::now() < deadline; ++i) {
    auto port = wait_until_served(registry);
    if (!port) {
      counts.problems["a restarted server did not publish and serve: " + file_text(errors)]++;
      break;
    }
    // A served session ends with a new publication; that one is left behind.
    port = wait_for_publication(registry);
    ++counts.restarts;
    ::kill(server, SIGKILL);
    wait_status(server);
    if (!port || registry.find("Orvandelcaster") != port) {
      counts.problems["the killed server's slot did not stay"]++;
      break;
    }
    server = spawn(fixture_path, registry_name, errors);
  }
  auto live_port = wait_until_served(registry);
  if (live_port) live_port = wait_for_publication(registry);
  for (int i = 0; live_port && i < refusals && Clock::now() < deadline; ++i) {
    char path[] = "/tmp/orvandelcaster_soak_second.XXXXXX";
    int err = ::mkstemp(path);
    ::unlink(path);
    int status = wait_status(spawn(fixture_path, registry_name, err));
    std::string text = file_text(err);
    ::close(err);
    if (status != 1 || text != ALREADY_RUNNING) {
      counts.problems["a second instance was not refused with its line"]++;
      break;
    }
    if (registry.find("Orvandelcaster") != live_port || !serves(*live_port)) {
      counts.problems["the first instance lost its publication or its service"]++;
      break;
    }
    live_port = wait_for_publication(registry);
    ++counts.refusals;
  }
  if (!live_port) counts.problems["the live server did not publish"]++;
  ::kill(server, SIGTERM);
  if (wait_status(server) != 0) counts.problems["the last server did not end with status 0"]++;
  if (registry.find("Orvandelcaster")) counts.problems["the last server left its name"]++;
  if (!file_text(errors).empty()) counts.problems["the servers wrote: " + file_text(errors)]++;
  ::close(errors);
  return counts;
}

}  // namespace soak
