// The real capture-probe executable against the real headless server, each
// test on a registry of its own.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"
#include "tests/support/server_process.h"
#include "tests/support/wait.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ProbeRun {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out;
  std::string err;
};

struct RunOptions {
  int timeout_ms = 15000;
  bool on_terminal = false;            // stdout on a pseudo-terminal instead of a pipe
  int interrupt_after_data_lines = 0;  // send SIGINT once this many block lines came
};

int count_data_lines(const std::string& out) {
  int lines = 0;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') ++lines;
  }
  return lines;
}

// Runs build/capture-probe with args and collects what it writes, within
// timeout_ms; a probe still running then is killed and the run fails.
ProbeRun run_probe(const std::vector<std::string>& args, RunOptions how = {}) {
  ProbeRun run;
  int out_pipe[2], err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) < 0) return run;
  platform::UniqueFd out_read, out_write;
  std::string terminal_path;
  if (how.on_terminal) {
    out_read.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!out_read.valid() || ::grantpt(out_read.get()) < 0 || ::unlockpt(out_read.get()) < 0) {
      return run;
    }
    terminal_path = ::ptsname(out_read.get());
  } else {
    if (::pipe2(out_pipe, O_CLOEXEC) < 0) return run;
    out_read.reset(out_pipe[0]);
    out_write.reset(out_pipe[1]);
  }
  platform::UniqueFd err_read(err_pipe[0]), err_write(err_pipe[1]);

  std::vector<std::string> all = {CAPTURE_PROBE_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    if (how.on_terminal) {
      ::setsid();
      int terminal = ::open(terminal_path.c_str(), O_RDWR);
      if (terminal < 0) ::_exit(126);
      ::dup2(terminal, STDOUT_FILENO);
    } else {
      ::dup2(out_write.get(), STDOUT_FILENO);
    }
    ::dup2(err_write.get(), STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  out_write.reset();
  err_write.reset();
  if (pid < 0) return run;

  auto deadline = Clock::now() + std::chrono::milliseconds(how.timeout_ms);
  bool interrupted = false;
  bool out_open = true, err_open = true;
  while ((out_open || err_open) && Clock::now() < deadline) {
    pollfd fds[2] = {{out_open ? out_read.get() : -1, POLLIN, 0},
                     {err_open ? err_read.get() : -1, POLLIN, 0}};
    if (::poll(fds, 2, 50) <= 0) continue;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      // A pseudo-terminal reads EIO once its last user has gone.
      if (n <= 0) {
        (i == 0 ? out_open : err_open) = false;
        continue;
      }
      (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
    }
    if (how.interrupt_after_data_lines > 0 && !interrupted &&
        count_data_lines(run.out) >= how.interrupt_after_data_lines) {
      ::kill(pid, SIGINT);
      interrupted = true;
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::vector<std::string> with_registry(std::vector<std::string> args, const std::string& registry) {
  args.push_back("--registry");
  args.push_back(registry);
  return args;
}

int line_count(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A registry held open by the test, where it publishes slots of its own.
class HandMadeRegistry {
 public:
  explicit HandMadeRegistry(std::string name) : m_name(std::move(name)) {
    bool existed = false;
    m_fd.reset(open_registry_object(m_name.c_str(), &existed, nullptr, nullptr));
    m_created = !existed;
  }
  ~HandMadeRegistry() {
    m_fd.reset();
    if (m_created) test_support::remove_registry(m_name);
  }
  bool valid() const { return m_fd.valid(); }
  const std::string& name() const { return m_name; }

  bool publish(const char* server_name, std::uint16_t port) {
    platform::ByteLock lock(m_fd.get(), REGISTRY_WRITE_LOCK_OFFSET, m_name.c_str(), nullptr);
    SocketRegistry registry;
    if (!lock.locked() || !read_registry(m_fd.get(), &registry)) return false;
    int slot = claim_free_slot(&registry, server_name);
    return slot >= 0 &&
           write_publication(m_fd.get(), slot, server_name, htons(port), registry.used);
  }

 private:
  std::string m_name;
  platform::UniqueFd m_fd;
  bool m_created = false;
};

// A TCP socket on 127.0.0.1 with a port of its own; listening with the given
// backlog, or only bound, so that connecting to it is refused.
struct LocalSocket {
  platform::UniqueFd fd;
  std::uint16_t port = 0;

  explicit LocalSocket(int backlog) {
    fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), size) < 0) return;
    if (backlog >= 0 && ::listen(fd.get(), backlog) < 0) return;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &size) < 0) return;
    port = ntohs(addr.sin_port);
  }
};

TEST(CaptureProbe, ListShowsWhatListensOnEachSlot) {
  test_support::ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0) << server.stderr_text();
  HandMadeRegistry registry(server.registry());
  ASSERT_TRUE(registry.valid());
  LocalSocket bound_only(-1);
  ASSERT_NE(bound_only.port, 0);
  ASSERT_TRUE(registry.publish("Gone\x1b[2J", bound_only.port));
  const std::string expected =
      "slot  port   name            state\n"
      "   0  " +
      std::to_string(port) +
      "  Orvandelcaster  serving\n"
      "   1  " +
      std::to_string(bound_only.port) + "  Gone\\x1b[2J     dead\n";

  ProbeRun run = run_probe(with_registry({"list"}, server.registry()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, expected);
  // Listing never connected: the server still waits for its first client.
  EXPECT_EQ(server.published_port(), port);
}

TEST(CaptureProbe, ListSaysThatTheServerIsBusyWithAClient) {
  test_support::ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0) << server.stderr_text();
  platform::UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(test_support::wait_until([&] { return server.published_port() == 0; }));

  ProbeRun run = run_probe(with_registry({"list"}, server.registry()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "\"Orvandelcaster\" is busy with a client: it is published again when the session "
            "ends.\n");
  client.reset();
  EXPECT_NE(server.wait_for_new_port(port), 0);
  EXPECT_EQ(server.stop(), 0);
}

TEST(CaptureProbe, ListSaysSoWhenNoServerIsPublished) {
  HandMadeRegistry registry(test_support::unique_registry_name());
  ASSERT_TRUE(registry.valid());
  ProbeRun run = run_probe(with_registry({"list"}, registry.name()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "No server is published in the registry.\n");
  EXPECT_EQ(run.err, "");
}

TEST(CaptureProbe, InfoShowsTheChannelsByNameAndTheRawFieldsOnlyWhenAsked) {
  test_support::ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0) << server.stderr_text();
  // No client has asked for data yet: the server has not built its data block.
  ProbeRun run = run_probe(with_registry({"info"}, server.registry()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "Server:       Orvandelcaster\n"
            "Version:      1.0\n"
            "Description:  Orvandelcaster capture server - v1.0\n"
            "Address:      127.0.0.1:" +
                std::to_string(port) +
                "\n"
                "Channels:     4\n"
                "Data block:   48 bytes\n"
                "\n"
                "  name    usage   values\n"
                "  X       X            1\n"
                "  Y       Y            1\n"
                "  Rudder  Rudder       1\n"
                "  Thrust  Thrust       1\n");

  ASSERT_NE(server.wait_for_port(), 0);
  ASSERT_EQ(run_probe(with_registry({"watch", "--count", "1"}, server.registry())).status, 0);
  ASSERT_NE(server.wait_for_port(), 0);
  run = run_probe(with_registry({"info", "--raw"}, server.registry()));
  EXPECT_EQ(run.status, 0) << run.err;
  // The server has built its data block now: its raw length says so, the size does not change.
  EXPECT_NE(run.out.find("Data block:   48 bytes\n"
                         "Table head:   5 records, capacity 200, data block 12 words\n"
                         "Reply head:   0.000000 0.000000 0.000000 524288 1\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("      4  Thrust  Thrust      5       1\n"), std::string::npos) << run.out;
  // The session ended cleanly, and the server is published again for the next one.
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stop(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(CaptureProbe, VersionNamesTheProgramAndItsVersion) {
  ProbeRun run = run_probe({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "capture-probe (Orvandelcaster) " EXPECTED_VERSION "\n");
}

TEST(CaptureProbe, WatchPrintsOneLinePerBlock) {
  test_support::ServerProcess server;
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  ProbeRun run = run_probe(with_registry(
      {"watch", "Orvandelcaster", "--count", "3", "--rate", "50"}, server.registry()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::istringstream lines(run.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("# Orvandelcaster at 127.0.0.1:", 0), 0u) << line;
  for (int block = 1; block <= 3; ++block) {
    ASSERT_TRUE(std::getline(lines, line)) << run.out;
    std::string prefix = std::to_string(block) + " ";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    EXPECT_NE(line.find(" X=-0.000008 Y=-0.000008 Rudder=-0.000008 Thrust=-0.000008"),
              std::string::npos)
        << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stop(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(CaptureProbe, WatchAndRecordStopOnInterruptAndLeaveTheServerReady) {
  test_support::ServerProcess server;
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  RunOptions how;
  how.interrupt_after_data_lines = 2;
  ProbeRun run = run_probe(with_registry({"watch", "--rate", "20"}, server.registry()), how);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_GE(count_data_lines(run.out), 2);

  // The recording is complete: its header and whole rows, the last one too.
  ASSERT_NE(server.wait_for_port(), 0);
  ProbeRun record = run_probe(with_registry({"record", "--rate", "20"}, server.registry()), how);
  EXPECT_EQ(record.status, 0) << record.err;
  EXPECT_EQ(record.err, "");
  EXPECT_EQ(record.out.rfind("seconds,X,Y,Rudder,Thrust\n0.000000,-7.62951095e-06,", 0), 0u)
      << record.out;
  EXPECT_GE(count_data_lines(record.out), 2);
  const std::string centred_tail = ",-7.62951095e-06,-7.62951095e-06,-7.62951095e-06\n";
  EXPECT_EQ(record.out.substr(record.out.size() - centred_tail.size()), centred_tail);

  ASSERT_NE(server.wait_for_port(), 0);
  ProbeRun next = run_probe(with_registry({"watch", "--count", "1"}, server.registry()));
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(count_data_lines(next.out), 1);
  EXPECT_EQ(server.stop(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(CaptureProbe, WatchOnATerminalRedrawsInPlace) {
  test_support::ServerProcess server;
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  RunOptions how;
  how.on_terminal = true;
  ProbeRun run =
      run_probe(with_registry({"watch", "--count", "2", "--rate", "50"}, server.registry()), how);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("\x1b[?25l\x1b[2J\x1b[H", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("block 2"), std::string::npos);
  EXPECT_NE(run.out.find("  Rudder  -0.000008   -0.5 ["), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("X="), std::string::npos) << "no block lines on a terminal";
  ASSERT_GE(run.out.size(), 6u);
  EXPECT_EQ(run.out.substr(run.out.size() - 6), "\x1b[?25h") << "the cursor comes back";

  ASSERT_NE(server.wait_for_port(), 0);
  ProbeRun plain =
      run_probe(with_registry({"watch", "--count", "1", "--plain"}, server.registry()), how);
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("1 0.000 X=-0.000008"), std::string::npos) << plain.out;
}

TEST(CaptureProbe, NoServerOfThatNameIsAFailure) {
  test_support::ServerProcess server;
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  for (const char* command : {"info", "watch"}) {
    ProbeRun run = run_probe(with_registry({command, "Nobody"}, server.registry()));
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("capture-probe: no server named \"Nobody\" in the registry", 0), 0u)
        << run.err;
    EXPECT_EQ(line_count(run.err), 1) << run.err;
  }
}

TEST(CaptureProbe, VersionMismatchShowsTheServersDiagnostic) {
  test_support::ServerProcess server;
  ASSERT_NE(server.wait_for_port(), 0) << server.stderr_text();
  ProbeRun run = run_probe(with_registry({"info", "--protocol", "301"}, server.registry()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "capture-probe: version handshake with \"Orvandelcaster\" failed: the server answered "
            "MSG_VERSION with: Orvandelcaster: Protocol mismatch: client = 301, server = 300\n");
}

// A slot whose port refuses connections was left by a server that ended
// (killed, say): the name is not running, whatever the slot says.
TEST(CaptureProbe, StaleSlotIsReportedAsNotRunning) {
  HandMadeRegistry registry(test_support::unique_registry_name());
  ASSERT_TRUE(registry.valid());
  LocalSocket bound_only(-1);
  ASSERT_NE(bound_only.port, 0);
  ASSERT_TRUE(registry.publish("Orvandelcaster", bound_only.port));
  ProbeRun run = run_probe(with_registry({"info"}, registry.name()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "capture-probe: \"Orvandelcaster\" is not running (a server that ended left its name "
            "in the registry, with port " +
                std::to_string(bound_only.port) + ")\n");
}

TEST(CaptureProbe, TimeoutBoundsTheConnectAndEveryReply) {
  HandMadeRegistry registry(test_support::unique_registry_name());
  ASSERT_TRUE(registry.valid());

  // Accepts nothing: the handshake completes in the queue, no reply ever comes.
  LocalSocket silent(0);
  ASSERT_NE(silent.port, 0);
  ASSERT_TRUE(registry.publish("Silent", silent.port));
  ProbeRun run = run_probe(with_registry({"info", "Silent", "--timeout", "300"}, registry.name()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "capture-probe: identification with \"Silent\" failed: no reply within 300 ms\n");

  // Its one-place queue is taken: the handshake itself never completes.
  LocalSocket full(0);
  ASSERT_NE(full.port, 0);
  platform::UniqueFd queued(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(full.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(queued.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(registry.publish("Full", full.port));
  run = run_probe(with_registry({"info", "Full", "--timeout", "300"}, registry.name()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "capture-probe: \"Full\": cannot connect to 127.0.0.1:" +
                         std::to_string(full.port) + ": no answer within 300 ms\n");
}

TEST(CaptureProbe, BadUsageExitsWithTwoAndOneLine) {
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"frob"},
      {"list", "extra"},
      {"info", "--rate", "5"},
      {"watch", "--count", "0"},
      {"info", "--timeout"},
  };
  for (const auto& args : mistakes) {
    ProbeRun run = run_probe(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("capture-probe: ", 0), 0u) << run.err;
    EXPECT_EQ(line_count(run.err), 1) << run.err;
  }
  for (const char* command : {"list", "info", "watch", "devices", "axes"}) {
    ProbeRun run = run_probe({command, "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("Usage: capture-probe ") + command, 0), 0u) << run.out;
  }
}

TEST(CaptureProbe, DevicesNeedsNoServerAndNeverReplacesTheChosenDevice) {
  ::setenv("ORVANDELCASTER_JOYSTICK", "/dev/input/event999", 1);
  ProbeRun run = run_probe({"devices"});
  ::unsetenv("ORVANDELCASTER_JOYSTICK");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("\nJoystick 0: Joystick not found\n"
                         "  No device /dev/input/event999, chosen by ORVANDELCASTER_JOYSTICK\n"),
            std::string::npos)
      << run.out;
}

// The refusal of a joystick choice is the probe's own line, not the server's.
TEST(CaptureProbe, DevicesNamesItselfInTheLineThatRefusesAChoice) {
  ::setenv("ORVANDELCASTER_JOYSTICK", std::string(5000, 'y').c_str(), 1);
  ProbeRun run = run_probe({"devices"});
  ::unsetenv("ORVANDELCASTER_JOYSTICK");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "capture-probe: ORVANDELCASTER_JOYSTICK is longer than 4096 bytes: refused, so "
            "joystick 0 is not found\n");
}

// Whatever stands at the path, axes answers at once: a FIFO without a writer
// is opened without waiting and refused like any file that is no device.
TEST(CaptureProbe, AxesRefusesWhatIsNoInputDeviceWithOneLine) {
  char folder_template[] = "/tmp/probe-axes-XXXXXX";
  ASSERT_NE(::mkdtemp(folder_template), nullptr);
  const std::string folder = folder_template;
  const std::string file = folder + "/event0", fifo = folder + "/event1";
  ASSERT_EQ(::close(::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  struct Case {
    std::vector<std::string> args;
    std::string line;
  };
  const Case cases[] = {
      {{"axes", "--device", file}, file + " is not an input device"},
      {{"axes", "--device", fifo}, fifo + " is not an input device"},
      {{"axes", "--device", folder + "/event9"},
       "cannot open " + folder + "/event9: No such file or directory"},
      {{"axes", "--device", "No Such Pad"}, "no input device's name holds \"No Such Pad\""},
  };
  for (const Case& c : cases) {
    ProbeRun run = run_probe(c.args);
    EXPECT_EQ(run.status, 1) << c.line;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "capture-probe: " + c.line + "\n");
  }
  ::setenv("ORVANDELCASTER_JOYSTICK", "/dev/input/event999", 1);
  ProbeRun run = run_probe({"axes"});
  ::unsetenv("ORVANDELCASTER_JOYSTICK");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("capture-probe: joystick 0: Joystick not found: No device "
                          "/dev/input/event999, chosen by ORVANDELCASTER_JOYSTICK",
                          0),
            0u)
      << run.err;
  EXPECT_EQ(line_count(run.err), 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
