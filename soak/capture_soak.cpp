// Soak test of the capture server: runs the headless server process on a
// registry of its own and sends it a long series of sequential sessions from
// every kind of peer (soak/peers.h). For every session it checks that the
// server withdrew its name when it accepted the peer and published it again
// afterwards, that the replies were right, and that the server's standard
// error gained exactly one line when the session had to fail and none
// otherwise. It reads the server's open descriptors and resident memory once
// the warm-up is done, halfway and at the end; neither may grow. Bounded in
// sessions and in time; not part of ctest (soak/run runs it). Between the
// sessions, another user's process (soak/attackers.h) connects again and
// again, while the server waits and alongside the owner's own connections:
// none may be answered, cost the owner a session or the name, or write more
// than the server's line a minute about it. Then the instance phase
// (soak/instances.h): killed servers restarted, second instances refused.
//
//   capture_soak [--sessions N] [--seconds S] [--idle N] [--seed N]
//                [--restarts N] [--refusals N] [--attackers N]

#include <dirent.h>
#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/capture_client.h"
#include "protocol/codec.h"
#include "protocol/wire.h"
#include "soak/attackers.h"
#include "soak/instances.h"
#include "soak/peers.h"
#include "soak/session_model.h"
#include "tests/support/registry_view.h"
#include "tests/support/stream.h"

namespace {

using Clock = std::chrono::steady_clock;
using soak::PeerKind;

struct Options {
  int sessions = 20000;
  int seconds = 900;
  int idle_peers = 10;
  unsigned seed = 1;
  int restarts = 2000;
  int refusals = 2000;
  int attackers = 2000;
};

// Sessions before the first reading of descriptors and memory: the receive
// buffer, the channel table and the registry are all in place by then.
constexpr int WARM_UP_SESSIONS = 500;
constexpr int WAIT_MS = 10000;
// Resident memory may move by a few pages (stack, allocator bookkeeping)
// without anything leaking; a leak of even 8 bytes per session over the
// sessions after the warm-up would exceed this.
constexpr long RSS_TOLERANCE_KB = 128;
// Turning another user away takes the server a socket-owner query, well under
// a millisecond; an owner's connection beside one accepted this late waited
// for it, whatever the machine's load.
constexpr double SLOW_ACCEPT_MS = 2000;
// The server names a user it turns away at most once a minute.
constexpr int REFUSAL_LINE_SECONDS = 60;

struct Reading {
  int descriptors = -1;
  long rss_kb = -1;
};

Reading read_process(pid_t pid) {
  Reading r;
  std::string fd_dir = "/proc/" + std::to_string(pid) + "/fd";
  if (DIR* dir = ::opendir(fd_dir.c_str())) {
    r.descriptors = 0;
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ++r.descriptors;
    }
    ::closedir(dir);
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) r.rss_kb = std::atol(line.c_str() + 6);
  }
  return r;
}

// The line with each run of digits (a client's version, say) shown as N, so
// that lines of one kind count together.
std::string with_numbers_as_n(const std::string& line) {
  std::string shown;
  for (std::size_t i = 0; i < line.size(); ++i) {
    bool digit = line[i] >= '0' && line[i] <= '9';
    bool minus = line[i] == '-' && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9';
    if (!digit && !minus) {
      shown += line[i];
      continue;
    }
    shown += 'N';
    while (i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9') ++i;
  }
  return shown;
}

// The server's publication: its port, or 0 when the name is not published.
std::uint16_t published_port(const std::string& registry) {
  return test_support::RegistryView(registry).published_port(DEFAULT_SERVER_NAME);
}

// Waits until the name is published (want_published) or withdrawn; the port
// seen, 0 when withdrawn, or -1 when the wait timed out.
int wait_for_registry(const std::string& registry, bool want_published) {
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  for (;;) {
    std::uint16_t port = published_port(registry);
    if ((port != 0) == want_published) return port;
    if (Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

// The headless server process (the real server thread) on a registry of its
// own, its standard error in a file that the soak reads as it grows.
class ServerUnderSoak {
 public:
  ServerUnderSoak()
      : m_registry("/orvandelcaster_soak." + std::to_string(::getpid())),
        m_stderr_path("/tmp" + m_registry + ".stderr") {
    m_stderr = ::open(m_stderr_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(m_stderr, STDERR_FILENO);
      ::execl(SERVER_FIXTURE_PATH, SERVER_FIXTURE_PATH, "--registry", m_registry.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~ServerUnderSoak() {
    if (m_pid > 0 && m_status < 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    ::close(m_stderr);
    ::unlink(m_stderr_path.c_str());
    ::shm_unlink(m_registry.c_str());
  }
  ServerUnderSoak(const ServerUnderSoak&) = delete;
  ServerUnderSoak& operator=(const ServerUnderSoak&) = delete;

  pid_t pid() const { return m_pid; }
  const std::string& registry() const { return m_registry; }

  // The whole lines written to standard error since the last call.
  std::vector<std::string> new_stderr_lines() {
    char chunk[4096];
    for (;;) {
      ssize_t n = ::pread(m_stderr, chunk, sizeof chunk, m_read);
      if (n <= 0) break;
      m_pending.append(chunk, static_cast<std::size_t>(n));
      m_read += n;
    }
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t nl; (nl = m_pending.find('\n', at)) != std::string::npos; at = nl + 1) {
      lines.push_back(m_pending.substr(at, nl - at));
    }
    m_pending.erase(0, at);
    return lines;
  }

  // SIGTERM, then the exit status (128 + signal when one ended it; -1 when it
  // is still running after 10 s).
  int stop() {
    ::kill(m_pid, SIGTERM);
    auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

 private:
  std::string m_registry;
  std::string m_stderr_path;
  int m_stderr = -1;
  pid_t m_pid = -1;
  int m_status = -1;
  off_t m_read = 0;
  std::string m_pending;
};

// The first session: asks for the channel table (data requests need it) and
// sends the longest message the server accepts, so the receive buffer has its
// final size before anything is measured.
bool warm_up(int fd) {
  std::vector<unsigned char> bytes(8 + 8 + MAX_PAYLOAD + 8, 0);
  auto put = [&](std::size_t at, std::uint32_t value) { write_word(bytes.data() + at, value); };
  put(0, MSG_CHANNEL_INFO);
  put(8, 7);
  put(12, MAX_PAYLOAD);
  put(16 + MAX_PAYLOAD, MSG_END);
  if (!test_support::send_all(fd, bytes)) return false;
  // The channel table, then the diagnostic for type 7, then the close.
  std::size_t expected = MESSAGE_HEADER_SIZE + soak::JOYSTICK_CHANNEL_INFO_SIZE +
                         MESSAGE_HEADER_SIZE + DIAGNOSTIC_BODY_SIZE;
  test_support::Bytes replies;
  test_support::read_to_end(fd, &replies);
  ::close(fd);
  return replies.size() == expected;
}

PeerKind pick_kind(std::mt19937* random, int session, const Options& o) {
  // Idle peers are spread evenly over the run.
  if (o.idle_peers > 0 && session % (o.sessions / o.idle_peers + 1) == 1) return PeerKind::IDLE;
  int roll = std::uniform_int_distribution<int>(0, 99)(*random);
  if (roll < 40) return PeerKind::NORMAL;
  if (roll < 48) return PeerKind::VERSION_MISMATCH;
  if (roll < 54) return PeerKind::CLIENT_DIAGNOSTIC;
  if (roll < 68) return PeerKind::VANISH;
  if (roll < 80) return PeerKind::RESET;
  return PeerKind::GARBAGE;
}

bool parse_int(const char* text, long low, long high, long* out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (!text[0] || *end || value < low || value > high) return false;
  *out = value;
  return true;
}

Options parse_options(int argc, char** argv) {
  enum { SESSIONS, SECONDS, IDLE, SEED, RESTARTS, REFUSALS, ATTACKERS };
  static const option options[] = {{"sessions", required_argument, nullptr, SESSIONS},
                                   {"seconds", required_argument, nullptr, SECONDS},
                                   {"idle", required_argument, nullptr, IDLE},
                                   {"seed", required_argument, nullptr, SEED},
                                   {"restarts", required_argument, nullptr, RESTARTS},
                                   {"refusals", required_argument, nullptr, REFUSALS},
                                   {"attackers", required_argument, nullptr, ATTACKERS},
                                   {nullptr, 0, nullptr, 0}};
  Options o;
  opterr = 0;  // the usage line says it all
  bool ok = true;
  // ":" first: a value missing is told apart from an unknown option.
  for (int opt; ok && (opt = getopt_long(argc, argv, ":", options, nullptr)) != -1;) {
    if (opt == ':') {
      std::fprintf(stderr, "capture_soak: %s needs a value\n", argv[optind - 1]);
      std::exit(2);
    }
    long v = 0;
    ok = opt != '?' && parse_int(optarg, 0, 10000000, &v);
    if (!ok) break;
    switch (opt) {
      case SESSIONS:
        ok = v >= 1;
        o.sessions = static_cast<int>(v);
        break;
      case SECONDS:
        ok = v >= 1;
        o.seconds = static_cast<int>(v);
        break;
      case IDLE:
        o.idle_peers = static_cast<int>(v);
        break;
      case SEED:
        o.seed = static_cast<unsigned>(v);
        break;
      case RESTARTS:
        o.restarts = static_cast<int>(v);
        break;
      case REFUSALS:
        o.refusals = static_cast<int>(v);
        break;
      case ATTACKERS:
        o.attackers = static_cast<int>(v);
        break;
    }
  }
  if (!ok || optind < argc) {
    std::fprintf(stderr,
                 "usage: capture_soak [--sessions N] [--seconds S] [--idle N] [--seed N] "
                 "[--restarts N] [--refusals N] [--attackers N]\n");
    std::exit(2);
  }
  return o;
}

// What the other user's connections came to.
struct AttackCounts {
  int asked = 0;
  int while_waiting = 0;  // while the server waited for a client
  int alongside = 0;      // at the moment the owner connected
  int slot_kept = 0;      // attacks while waiting that left the slot as it was
  int refused_while_waiting = 0;
  std::map<std::string, int> by_outcome;
  bool lost = false;             // the attacker process gave no answer
  double slowest_beside_ms = 0;  // an owner's connect to the withdrawal, attacker alongside
  double slowest_alone_ms = 0;   // the same for every other session
};

// Counts an outcome, and a problem for one that a server serving only its own
// user cannot give (no_listener_possible: the owner's session may have taken
// the listener away first).
void record_outcome(std::optional<soak::AttackOutcome> outcome, bool no_listener_possible,
                    AttackCounts* attacks, std::map<std::string, int>* problems) {
  using soak::AttackOutcome;
  if (!outcome) {
    attacks->lost = true;
    (*problems)["the attacker process gave no answer"]++;
    return;
  }
  attacks->by_outcome[soak::attack_outcome_name(*outcome)]++;
  switch (*outcome) {
    case AttackOutcome::CLOSED:
    case AttackOutcome::RESET:
      return;
    case AttackOutcome::NO_LISTENER:
      if (!no_listener_possible)
        (*problems)["an attacker found no listener on the published port"]++;
      return;
    case AttackOutcome::ANSWERED:
      (*problems)["the server sent bytes to another user"]++;
      return;
    case AttackOutcome::KEPT_OPEN:
      (*problems)["the server kept another user's connection open"]++;
      return;
    case AttackOutcome::FAILED:
      (*problems)["an attacker could not connect"]++;
      return;
  }
}

// One attack while the server waits on port: the publication must stay as it
// is the whole time, so the registry is watched until the outcome comes.
void attack_while_waiting(soak::Attacker* attacker, const std::string& registry, std::uint16_t port,
                          AttackCounts* attacks, std::map<std::string, int>* problems) {
  ++attacks->asked;
  ++attacks->while_waiting;
  if (!attacker->attack(port)) {
    record_outcome(std::nullopt, false, attacks, problems);
    return;
  }
  bool kept = true;
  auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
  while (!attacker->outcome_ready() && Clock::now() < deadline) {
    if (published_port(registry) != port) kept = false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  if (published_port(registry) != port) kept = false;
  std::optional<soak::AttackOutcome> outcome = attacker->outcome();
  record_outcome(outcome, false, attacks, problems);
  if (kept)
    ++attacks->slot_kept;
  else
    (*problems)["the name did not stay published while another user was turned away"]++;
  if (outcome == soak::AttackOutcome::CLOSED || outcome == soak::AttackOutcome::RESET)
    ++attacks->refused_while_waiting;
}

// Moves the server's refusals of the other user (refusal_line) out of lines
// into *refusals: they belong to no session.
std::vector<std::string> session_lines(std::vector<std::string> lines,
                                       const std::string& refusal_line, int* refusals) {
  std::vector<std::string> kept;
  for (std::string& line : lines) {
    if (line == refusal_line)
      ++*refusals;
    else
      kept.push_back(std::move(line));
  }
  return kept;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse_options(argc, argv);
  std::mt19937 random(o.seed);
  ServerUnderSoak server;
  auto start = Clock::now();
  auto deadline = start + std::chrono::seconds(o.seconds);

  std::map<std::string, int> sessions_by_kind, failures_by_kind, failures_by_cause, lines_by_text;
  std::map<std::string, int> problems;
  int sessions = 0, expected_failures = 0, stderr_total = 0, republished = 0;
  int line_mismatches = 0;
  bool channels_defined = true;  // the warm-up session asks for the table
  bool previous_expects_failure = false;
  Reading before, halfway, after;
  std::string abort_reason;

  // Another user's process, when this one may become that user.
  soak::OtherUser other_user = soak::nobody_user();
  const std::string refusal_line = "Orvandelcaster: refused a connection from " +
                                   other_user.description +
                                   ": only this user's programs are served";
  soak::Attacker attacker;
  bool attacking = o.attackers > 0 && ::geteuid() == 0;
  if (attacking && !attacker.start(other_user, WAIT_MS)) {
    problems["the attacker process could not start"]++;
    attacking = false;
  }
  AttackCounts attacks;
  int refusal_lines = 0;

  for (int i = 0; i <= o.sessions; ++i) {
    int port = wait_for_registry(server.registry(), true);
    if (port < 0) {
      abort_reason = "the server did not publish its name within 10 s";
      break;
    }
    // The previous session is over: its line, if any, came before the publication.
    if (i > 0) {
      ++republished;
      std::vector<std::string> lines =
          session_lines(server.new_stderr_lines(), refusal_line, &refusal_lines);
      for (const std::string& line : lines) ++lines_by_text[with_numbers_as_n(line)];
      stderr_total += static_cast<int>(lines.size());
      if (static_cast<int>(lines.size()) != (previous_expects_failure ? 1 : 0)) ++line_mismatches;
    }
    if (i == WARM_UP_SESSIONS || (i == 0 && o.sessions <= WARM_UP_SESSIONS)) {
      before = read_process(server.pid());
    }
    if (i == WARM_UP_SESSIONS + (o.sessions - WARM_UP_SESSIONS) / 2) {
      halfway = read_process(server.pid());
    }
    // The attacks spread evenly over the sessions; every other one goes in
    // at the moment the owner connects.
    int due = 0;
    if (attacking && !attacks.lost) {
      due = static_cast<int>(static_cast<long long>(o.attackers) * i / o.sessions) - attacks.asked;
    }
    bool alongside = due > 0 && i < o.sessions && (attacks.asked + due) % 2 == 0;
    for (int n = alongside ? due - 1 : due; n > 0 && !attacks.lost; --n) {
      attack_while_waiting(&attacker, server.registry(), static_cast<std::uint16_t>(port), &attacks,
                           &problems);
    }
    alongside = alongside && !attacks.lost;
    if (i == o.sessions) break;
    if (Clock::now() > deadline) {
      abort_reason = "the time bound ran out";
      break;
    }

    if (alongside) {
      ++attacks.asked;
      ++attacks.alongside;
      if (!attacker.attack(static_cast<std::uint16_t>(port))) {
        record_outcome(std::nullopt, true, &attacks, &problems);
        alongside = false;
      }
    }
    int fd = soak::connect_peer(static_cast<std::uint16_t>(port), WAIT_MS);
    if (fd < 0) {
      abort_reason = "cannot connect to the published port";
      break;
    }
    auto connected = Clock::now();
    if (wait_for_registry(server.registry(), false) != 0) {
      abort_reason = "the name stayed published while a client was served";
      break;
    }
    double accepted_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - connected).count();
    double& slowest = alongside ? attacks.slowest_beside_ms : attacks.slowest_alone_ms;
    slowest = std::max(slowest, accepted_ms);
    if (alongside && accepted_ms > SLOW_ACCEPT_MS)
      problems["an owner's connection waited for the server beside another user's"]++;
    ++sessions;
    if (i == 0) {
      sessions_by_kind["warm_up"]++;
      previous_expects_failure = false;
      if (!warm_up(fd)) problems["the warm-up session went wrong"]++;
      continue;
    }
    PeerKind kind = pick_kind(&random, i, o);
    soak::PeerResult result = soak::run_peer(kind, fd, &random, &channels_defined);
    sessions_by_kind[soak::peer_kind_name(kind)]++;
    if (result.expect_failure) {
      ++expected_failures;
      failures_by_kind[soak::peer_kind_name(kind)]++;
      failures_by_cause[result.failure_cause]++;
    }
    if (!result.problem.empty()) problems[result.problem]++;
    previous_expects_failure = result.expect_failure;
    // Either turned away or too late for the listener the owner's session took.
    if (alongside) record_outcome(attacker.outcome(), true, &attacks, &problems);
  }
  after = read_process(server.pid());

  // Afterwards the server still serves.
  bool still_serves = false;
  if (abort_reason.empty()) {
    client::Connection last;
    client::DataBlock block;
    int port = wait_for_registry(server.registry(), true);
    still_serves = port > 0 && last.connect(static_cast<std::uint16_t>(port), WAIT_MS) &&
                   last.check_version() && last.data(&block) && block.channels.size() == 4 &&
                   last.end();
  }
  int stop_status = server.stop();
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  // Whatever came after the last session: refusals, and nothing else.
  for (const std::string& line :
       session_lines(server.new_stderr_lines(), refusal_line, &refusal_lines)) {
    ++lines_by_text[with_numbers_as_n(line)];
    ++stderr_total;
  }
  int refusal_lines_allowed = 1 + static_cast<int>(elapsed) / REFUSAL_LINE_SECONDS;
  bool refusals_reported = refusal_lines <= refusal_lines_allowed &&
                           (attacks.refused_while_waiting == 0 || refusal_lines >= 1);

  auto instances_start = Clock::now();
  soak::InstanceCounts instances = soak::soak_instances(
      server.registry() + ".instances", SERVER_FIXTURE_PATH, o.restarts, o.refusals, o.seconds);
  ::shm_unlink((server.registry() + ".instances").c_str());
  double instances_elapsed = std::chrono::duration<double>(Clock::now() - instances_start).count();
  for (auto& [problem, n] : instances.problems) problems[problem] += n;
  bool instances_done = instances.restarts == o.restarts && instances.refusals == o.refusals;

  bool descriptors_kept = before.descriptors >= 0 && after.descriptors == before.descriptors;
  bool memory_kept = before.rss_kb >= 0 && after.rss_kb - before.rss_kb <= RSS_TOLERANCE_KB;
  bool pass = abort_reason.empty() && problems.empty() && line_mismatches == 0 &&
              stderr_total == expected_failures && republished == sessions && still_serves &&
              descriptors_kept && memory_kept && stop_status == 0 && instances_done &&
              refusals_reported && (!attacking || attacks.asked == o.attackers);

  std::printf("sessions: %d of %d in %.1f s (seed %u)\n", sessions, o.sessions, elapsed, o.seed);
  for (auto& [kind, n] : sessions_by_kind) {
    std::printf("  %-20s %6d sessions, %6d expected to fail\n", kind.c_str(), n,
                failures_by_kind[kind]);
  }
  std::printf(
      "failures: %d expected, %d lines on the server's standard error, %d sessions "
      "whose line count was wrong\n",
      expected_failures, stderr_total, line_mismatches);
  std::printf("  by cause:\n");
  for (auto& [cause, n] : failures_by_cause) std::printf("  %6d  %s\n", n, cause.c_str());
  std::printf("  by line (each names its own cause; numbers shown as N):\n");
  for (auto& [text, n] : lines_by_text) std::printf("  %6d  \"%s\"\n", n, text.c_str());
  std::printf("withdrawn while served and published again: %d of %d sessions\n", republished,
              sessions);
  if (attacking) {
    std::printf(
        "attackers (%s): %d of %d connections, %d while the server waited, %d as an owner's "
        "session was accepted\n",
        other_user.description.c_str(), attacks.asked, o.attackers, attacks.while_waiting,
        attacks.alongside);
    for (auto& [outcome, n] : attacks.by_outcome) std::printf("  %6d  %s\n", n, outcome.c_str());
    std::printf("  name kept published through %d of %d attacks while the server waited\n",
                attacks.slot_kept, attacks.while_waiting);
    std::printf("  refusal lines on the server's standard error: %d (at most %d, one a minute)\n",
                refusal_lines, refusal_lines_allowed);
    std::printf(
        "  slowest acceptance of an owner's connection: %.1f ms beside an attacker, %.1f ms "
        "otherwise\n",
        attacks.slowest_beside_ms, attacks.slowest_alone_ms);
  } else if (o.attackers > 0) {
    std::printf("attackers: skipped: only root can run a process as %s\n",
                other_user.description.c_str());
  }
  std::printf("descriptors: %d after the warm-up, %d halfway, %d at the end\n", before.descriptors,
              halfway.descriptors, after.descriptors);
  std::printf(
      "resident memory: %ld kB after the warm-up, %ld kB halfway, %ld kB at the end "
      "(tolerance %ld kB)\n",
      before.rss_kb, halfway.rss_kb, after.rss_kb, RSS_TOLERANCE_KB);
  std::printf("still serves afterwards: %s; exit status on SIGTERM: %d\n",
              still_serves ? "yes" : "no", stop_status);
  std::printf(
      "instances: %d of %d killed servers restarted (slot reclaimed, served), %d of %d second "
      "instances refused (first kept its name and served) in %.1f s\n",
      instances.restarts, o.restarts, instances.refusals, o.refusals, instances_elapsed);
  for (auto& [problem, n] : problems)
    std::printf("problem: %s (%d sessions)\n", problem.c_str(), n);
  if (!abort_reason.empty()) std::printf("stopped early: %s\n", abort_reason.c_str());
  std::printf("result: %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
