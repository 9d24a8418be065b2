#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// A unique shared-memory object name for one test's private registry.
std::string unique_registry_name();

// Removes a registry object, so that the next opener meets none.
void remove_registry(const std::string& object_name);

// A server process for end-to-end tests: the headless server fixture (the real
// server thread) on a registry of its own, with its stdin and stdout on pipes
// and its standard error collected in a file. Killed and cleaned up when the
// object goes, if still running.
class ServerProcess {
 public:
  // Starts server_fixture --registry <registry> <extra_args...>, through the
  // launcher command when one is given (it runs the rest of its arguments).
  // With an empty registry a fresh unique name is used.
  explicit ServerProcess(std::vector<std::string> extra_args = {}, std::string registry = {},
                         std::vector<std::string> launcher = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return m_pid; }
  // The name the server publishes, DEFAULT_SERVER_NAME unless its settings
  // give another: the port functions below look for name from now on.
  void set_name(std::string name) { m_name = std::move(name); }
  const std::string& registry() const { return m_registry; }

  // Waits until the server's name is published in its registry: the port, or 0
  // when it did not appear within timeout_ms.
  std::uint16_t wait_for_port(int timeout_ms = 10000);
  // The port published under the server's name right now; 0 when there is none.
  std::uint16_t published_port() const;
  // Waits until the name is published with a port other than old_port: the
  // new port, or 0 when none appeared within timeout_ms.
  std::uint16_t wait_for_new_port(std::uint16_t old_port, int timeout_ms = 10000);

  // Writes a line to the fixture's stdin and waits for its one-line answer on
  // stdout ("" on time-out or end of stream).
  std::string command(const std::string& line, int timeout_ms = 10000);

  // Sends sig and waits for the exit; see wait_exit.
  int stop(int sig = 15, int timeout_ms = 10000);
  // The exit status (0..255), 128 + the signal number when a signal ended it,
  // or -1 when it is still running after timeout_ms.
  int wait_exit(int timeout_ms = 10000);
  bool running();
  // Whether one of the process's threads is blocked in the system call number
  // (SYS_sendto, ...), so a test can act while the server is exactly there.
  bool in_system_call(long number) const;

  // Everything the process wrote to standard error so far.
  std::string stderr_text() const;

 private:
  std::string m_registry;
  std::string m_name;
  std::string m_stderr_path;
  pid_t m_pid = -1;
  int m_stdin = -1;
  int m_stdout = -1;
  int m_status = -1;
  bool m_reaped = false;
};

}  // namespace test_support
