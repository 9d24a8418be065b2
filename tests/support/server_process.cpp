#include "tests/support/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "protocol/wire.h"
#include "tests/support/registry_view.h"

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;

bool before(Clock::time_point deadline) { return Clock::now() < deadline; }

Clock::time_point after_ms(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

}  // namespace

std::string unique_registry_name() {
  static std::atomic<int> counter{0};
  std::random_device random;
  std::ostringstream name;
  name << "/orvandelcaster_test." << ::getpid() << '.' << counter++ << '.' << random();
  return name.str();
}

void remove_registry(const std::string& object_name) { ::shm_unlink(object_name.c_str()); }

ServerProcess::ServerProcess(std::vector<std::string> extra_args, std::string registry,
                             std::vector<std::string> launcher)
    : m_registry(registry.empty() ? unique_registry_name() : std::move(registry)),
      m_name(DEFAULT_SERVER_NAME) {
  // Unique per process: several servers may share one registry.
  static std::atomic<int> started{0};
  m_stderr_path = "/tmp" + m_registry + "." + std::to_string(started++) + ".stderr";
  int to_child[2], from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) < 0 || ::pipe2(from_child, O_CLOEXEC) < 0) return;
  int err = ::open(m_stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

  std::vector<std::string> args = std::move(launcher);
  for (const char* arg : {SERVER_FIXTURE_PATH, "--registry", m_registry.c_str()})
    args.push_back(arg);
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(to_child[0], STDIN_FILENO);
    ::dup2(from_child[1], STDOUT_FILENO);
    if (err >= 0) ::dup2(err, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  if (err >= 0) ::close(err);
  m_stdin = to_child[1];
  m_stdout = from_child[0];
}

ServerProcess::~ServerProcess() {
  if (m_pid > 0 && !m_reaped) {
    ::kill(m_pid, SIGKILL);
    wait_exit(10000);
  }
  if (m_stdin >= 0) ::close(m_stdin);
  if (m_stdout >= 0) ::close(m_stdout);
  ::unlink(m_stderr_path.c_str());
  remove_registry(m_registry);
}

std::uint16_t ServerProcess::wait_for_port(int timeout_ms) {
  return wait_for_publication(m_registry, m_name, timeout_ms, [this] { return running(); });
}

std::uint16_t ServerProcess::published_port() const {
  return RegistryView(m_registry).published_port(m_name);
}

std::uint16_t ServerProcess::wait_for_new_port(std::uint16_t old_port, int timeout_ms) {
  auto deadline = after_ms(timeout_ms);
  while (before(deadline)) {
    std::uint16_t port = published_port();
    if (port != 0 && port != old_port) return port;
    if (!running()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return 0;
}

std::string ServerProcess::command(const std::string& line, int timeout_ms) {
  std::string text = line + "\n";
  if (::write(m_stdin, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
  std::string answer;
  auto deadline = after_ms(timeout_ms);
  while (before(deadline)) {
    pollfd p{m_stdout, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char c;
    if (::read(m_stdout, &c, 1) != 1) return "";
    if (c == '\n') return answer;
    answer += c;
  }
  return "";
}

int ServerProcess::stop(int sig, int timeout_ms) {
  if (m_pid > 0 && !m_reaped) ::kill(m_pid, sig);
  return wait_exit(timeout_ms);
}

int ServerProcess::wait_exit(int timeout_ms) {
  auto deadline = after_ms(timeout_ms);
  while (!m_reaped && m_pid > 0) {
    int status = 0;
    pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
      m_reaped = true;
      m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (!before(deadline)) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return m_status;
}

bool ServerProcess::running() { return wait_exit(0) == -1 && !m_reaped; }

bool ServerProcess::in_system_call(long number) const {
  if (m_pid <= 0 || m_reaped) return false;
  std::string tasks = "/proc/" + std::to_string(m_pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    // The first field is the number of the call the thread is blocked in.
    std::ifstream in(task.path() / "syscall");
    long current = -1;
    if (in >> current && current == number) return true;
  }
  return false;
}

std::string ServerProcess::stderr_text() const {
  std::ifstream in(m_stderr_path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace test_support
