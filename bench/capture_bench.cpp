// Measures the capture server against a bare TCP floor on 127.0.0.1 and prints
// one line per figure. The real server thread runs in this process on a
// registry of its own; client and server threads are pinned to stated CPUs,
// and every figure is reported for two placements: both on one CPU, and on two.
//
//   capture_bench [--cpus CLIENT,SERVER] [--requests N] [--cycles N] [--rounds N]
//   capture_bench --cost N
//
// --cpus names the CPUs of the cross placement (default 0,1); the same-CPU
// placement puts both threads on SERVER. Requests and cycles are totals per
// placement, spread over the rounds; the measurements of a round are taken one
// after the other, so that a change in the machine's load falls on all of them.
// --cost N only serves one client that asks for the channel table and then N
// data blocks, for counting the server's instructions and allocations under
// valgrind (bench/run does that).

#include <arpa/inet.h>
#include <getopt.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "bench/bare_server.h"
#include "bench/bench_net.h"
#include "client/capture_client.h"
#include "joystick/joystick_channels.h"
#include "server/capture_server.h"
#include "server/listener.h"
#include "server/process.h"
#include "server/registry.h"
#include "server/session.h"
#include "server_core/framing.h"
#include "tests/support/stream.h"
#include "tests/support/wire_bytes.h"

namespace {

using bench::BareServer;
using bench::Summary;
using test_support::frame;
using test_support::words;

struct Options {
  int client_cpu = 0;
  int server_cpu = 1;
  int requests = 30000;
  int cycles = 3000;
  int rounds = 3;
  int cost_requests = -1;
};

struct Placement {
  const char* name;
  int client_cpu;
  int server_cpu;
};

// What one placement collects over all its rounds.
struct Samples {
  std::vector<std::int64_t> floor_one_send, floor_two_sends, data, channel_info;
  std::vector<std::int64_t> cycle, bare_cycle;
  std::int64_t data_time = 0, floor_two_sends_time = 0, floor_one_send_time = 0;
  std::int64_t channel_info_time = 0, cycle_time = 0, bare_cycle_time = 0;
  std::int64_t data_server_cpu = 0, floor_two_sends_server_cpu = 0;
  std::int64_t cycle_server_cpu = 0, bare_cycle_server_cpu = 0;
  long lookups = 0;        // registry lookups outside the cycles
  long cycle_lookups = 0;  // lookups in the cycles, the waits for republication included
};

const std::string& registry_name() {
  static const std::string name = "/orvandelcaster_bench." + std::to_string(::getpid());
  return name;
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "capture_bench: %s\n", what);
  ::shm_unlink(registry_name().c_str());
  std::exit(1);
}

// Looks the server up until its name is published; counts the attempts. The
// registry stays open and mapped for the whole run, as a client that connects
// again and again would hold it, so a lookup is a read of shared memory.
std::uint16_t look_up_server(long* attempts) {
  static client::Registry* registry = [] {
    auto* opened = new client::Registry;
    if (!opened->open(registry_name().c_str())) fail("cannot open the registry");
    return opened;
  }();
  for (;;) {
    ++*attempts;
    if (auto port = registry->find(DEFAULT_SERVER_NAME)) return *port;
    sched_yield();
  }
}

// Sends request and reads a reply of reply_size bytes, count times, appending
// each round trip's duration. Returns the time the whole loop took.
std::int64_t time_round_trips(int fd, const std::vector<unsigned char>& request,
                              std::size_t reply_size, int count,
                              std::vector<std::int64_t>* samples) {
  std::vector<unsigned char> reply(reply_size);
  std::int64_t start = bench::now_ns();
  for (int i = 0; i < count; ++i) {
    std::int64_t t0 = bench::now_ns();
    if (!test_support::send_all(fd, request.data(), request.size()) ||
        !test_support::read_whole(fd, reply.data(), reply.size())) {
      fail("a round trip failed");
    }
    if (samples) samples->push_back(bench::now_ns() - t0);
  }
  return bench::now_ns() - start;
}

constexpr int WARM_UP = 500;
// The server's four joystick channels of one value each, and its channel table
// (record 0 and the four channels).
constexpr std::size_t DATA_REPLY_SIZE = MESSAGE_HEADER_SIZE + 4 * (DATA_CHANNEL_HEAD_SIZE + 4);
constexpr std::size_t CHANNEL_INFO_REPLY_SIZE =
    MESSAGE_HEADER_SIZE + CHANNEL_INFO_HEAD_SIZE + 5 * CHANNEL_RECORD_SIZE;

void measure_floor(BareServer::Kind kind, const Placement& at, int count,
                   std::vector<std::int64_t>* samples, std::int64_t* total,
                   std::int64_t* server_cpu) {
  BareServer server;
  if (!server.start(kind, at.server_cpu)) fail("cannot start the bare server");
  int fd = test_support::connect_loopback(server.port());
  if (fd < 0) fail("cannot connect to the bare server");
  auto request = frame(MSG_DATA);
  time_round_trips(fd, request, DATA_REPLY_SIZE, WARM_UP, nullptr);
  std::int64_t cpu0 = bench::thread_cpu_ns(server.handle());
  *total += time_round_trips(fd, request, DATA_REPLY_SIZE, count, samples);
  if (server_cpu) *server_cpu += bench::thread_cpu_ns(server.handle()) - cpu0;
  ::close(fd);
  server.join();
}

void measure_server_requests(pthread_t server, int count, Samples* s) {
  int fd = test_support::connect_loopback(look_up_server(&s->lookups));
  if (fd < 0) fail("cannot connect to the capture server");
  auto channel_info = frame(MSG_CHANNEL_INFO);
  auto data = frame(MSG_DATA);
  time_round_trips(fd, channel_info, CHANNEL_INFO_REPLY_SIZE, 1, nullptr);
  time_round_trips(fd, data, DATA_REPLY_SIZE, WARM_UP, nullptr);
  std::int64_t cpu0 = bench::thread_cpu_ns(server);
  s->data_time += time_round_trips(fd, data, DATA_REPLY_SIZE, count, &s->data);
  s->data_server_cpu += bench::thread_cpu_ns(server) - cpu0;
  s->channel_info_time +=
      time_round_trips(fd, channel_info, CHANNEL_INFO_REPLY_SIZE, count / 4, &s->channel_info);
  auto end = frame(MSG_END);
  test_support::send_all(fd, end.data(), end.size());
  ::close(fd);
}

// One connect cycle of a client: look the name up (waiting until it is
// published again), connect, MSG_VERSION, MSG_END, close.
void run_cycles(pthread_t server, int count, Samples* s) {
  auto version = frame(MSG_VERSION, words({PROTOCOL_VERSION}));
  auto end = frame(MSG_END);
  unsigned char reply[bench::CYCLE_REPLY_SIZE];
  std::int64_t cpu0 = bench::thread_cpu_ns(server);
  std::int64_t start = bench::now_ns();
  std::int64_t cycle_start = start;
  for (int i = 0; i <= count; ++i) {
    std::uint16_t port = look_up_server(&s->cycle_lookups);
    std::int64_t now = bench::now_ns();
    // A cycle ends when the name is published again for the next client.
    if (i > 0) s->cycle.push_back(now - cycle_start);
    cycle_start = now;
    if (i == count) break;
    int fd = test_support::connect_loopback(port);
    if (fd < 0 || !test_support::send_all(fd, version.data(), version.size()) ||
        !test_support::read_whole(fd, reply, sizeof reply) ||
        !test_support::send_all(fd, end.data(), end.size())) {
      fail("a connect cycle failed");
    }
    ::close(fd);
  }
  s->cycle_time += bench::now_ns() - start;
  s->cycle_server_cpu += bench::thread_cpu_ns(server) - cpu0;
}

void run_bare_cycles(const Placement& at, int count, Samples* s) {
  BareServer server;
  if (!server.start(BareServer::Kind::CONNECT_CYCLES, at.server_cpu, count)) {
    fail("cannot start the bare server");
  }
  unsigned char request[bench::CYCLE_REQUEST_SIZE] = {};
  unsigned char reply[bench::CYCLE_REPLY_SIZE];
  unsigned char end[bench::CYCLE_END_SIZE] = {};
  std::int64_t start = bench::now_ns();
  for (int i = 0; i < count; ++i) {
    std::int64_t t0 = bench::now_ns();
    int fd = test_support::connect_loopback(server.port());
    if (fd < 0 || !test_support::send_all(fd, request, sizeof request) ||
        !test_support::read_whole(fd, reply, sizeof reply) ||
        !test_support::send_all(fd, end, sizeof end)) {
      fail("a bare connect cycle failed");
    }
    ::close(fd);
    s->bare_cycle.push_back(bench::now_ns() - t0);
  }
  s->bare_cycle_time += bench::now_ns() - start;
  server.join();
  s->bare_cycle_server_cpu += server.cpu_ns();
}

double per_second(std::size_t count, std::int64_t total_ns) {
  return total_ns > 0 ? static_cast<double>(count) * 1e9 / static_cast<double>(total_ns) : 0;
}

double per_item_us(std::int64_t total_ns, std::size_t count) {
  return count ? static_cast<double>(total_ns) / 1000.0 / static_cast<double>(count) : 0;
}

Summary print_times(const Placement& at, const char* what, std::vector<std::int64_t>* samples,
                    std::int64_t total_ns, const char* unit) {
  Summary s = bench::summarise(samples);
  std::printf("%-10s %-22s median_us=%.2f p99_us=%.2f mean_us=%.2f %s=%.0f n=%zu\n", at.name, what,
              s.median_us, s.p99_us, s.mean_us, unit, per_second(s.count, total_ns), s.count);
  return s;
}

void report(const Placement& at, Samples* s) {
  Summary one = print_times(at, "floor_one_send", &s->floor_one_send, s->floor_one_send_time,
                            "requests_per_s");
  Summary two = print_times(at, "floor_two_sends", &s->floor_two_sends, s->floor_two_sends_time,
                            "requests_per_s");
  Summary data = print_times(at, "msg_data", &s->data, s->data_time, "requests_per_s");
  print_times(at, "msg_channel_info", &s->channel_info, s->channel_info_time, "requests_per_s");
  Summary cycle = print_times(at, "connect_cycle", &s->cycle, s->cycle_time, "cycles_per_s");
  Summary bare = print_times(at, "bare_cycle", &s->bare_cycle, s->bare_cycle_time, "cycles_per_s");
  std::printf("%-10s %-22s %.3f\n", at.name, "ratio_data_to_two_sends",
              data.median_us / two.median_us);
  std::printf("%-10s %-22s %.3f\n", at.name, "ratio_data_to_one_send",
              data.median_us / one.median_us);
  std::printf("%-10s %-22s %.3f (cycles per second: %.3f)\n", at.name, "ratio_cycle_to_bare",
              cycle.median_us / bare.median_us,
              per_second(s->bare_cycle.size(), s->bare_cycle_time) /
                  per_second(s->cycle.size(), s->cycle_time));
  std::printf("%-10s %-22s server_us_per_request=%.2f floor_two_sends_us=%.2f\n", at.name,
              "server_cpu_data", per_item_us(s->data_server_cpu, s->data.size()),
              per_item_us(s->floor_two_sends_server_cpu, s->floor_two_sends.size()));
  std::printf("%-10s %-22s server_us_per_cycle=%.2f bare_us=%.2f lookups_per_cycle=%.2f\n", at.name,
              "server_cpu_cycle", per_item_us(s->cycle_server_cpu, s->cycle.size()),
              per_item_us(s->bare_cycle_server_cpu, s->bare_cycle.size()),
              s->cycle.empty()
                  ? 0.0
                  : static_cast<double>(s->cycle_lookups) / static_cast<double>(s->cycle.size()));
  std::fflush(stdout);
}

void run_placement(const Placement& at, pthread_t server, const Options& o) {
  if (!bench::pin_current_thread(at.client_cpu) || !bench::pin_thread(server, at.server_cpu)) {
    fail("cannot pin the threads to the stated CPUs");
  }
  Samples s;
  int requests = o.requests / o.rounds;
  int cycles = o.cycles / o.rounds;
  for (int round = 0; round < o.rounds; ++round) {
    measure_floor(BareServer::Kind::ONE_SEND, at, requests, &s.floor_one_send,
                  &s.floor_one_send_time, nullptr);
    measure_floor(BareServer::Kind::TWO_SENDS, at, requests, &s.floor_two_sends,
                  &s.floor_two_sends_time, &s.floor_two_sends_server_cpu);
    measure_server_requests(server, requests, &s);
    run_bare_cycles(at, cycles, &s);
    run_cycles(server, cycles, &s);
  }
  report(at, &s);
}

int run_cost(int requests) {
  Samples s;
  int fd = test_support::connect_loopback(look_up_server(&s.lookups));
  if (fd < 0) fail("cannot connect to the capture server");
  auto channel_info = frame(MSG_CHANNEL_INFO);
  auto data = frame(MSG_DATA);
  auto end = frame(MSG_END);
  time_round_trips(fd, channel_info, CHANNEL_INFO_REPLY_SIZE, 1, nullptr);
  time_round_trips(fd, data, DATA_REPLY_SIZE, requests, nullptr);
  test_support::send_all(fd, end.data(), end.size());
  ::close(fd);
  // Leaves the server waiting for its next client, as after any session.
  look_up_server(&s.lookups);
  std::printf("served %d data requests\n", requests);
  return 0;
}

bool parse_int(const char* text, int* out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (!text[0] || *end || value < 0 || value > 100000000) return false;
  *out = static_cast<int>(value);
  return true;
}

Options parse_options(int argc, char** argv) {
  enum { CPUS, REQUESTS, CYCLES, ROUNDS, COST };
  static const option options[] = {{"cpus", required_argument, nullptr, CPUS},
                                   {"requests", required_argument, nullptr, REQUESTS},
                                   {"cycles", required_argument, nullptr, CYCLES},
                                   {"rounds", required_argument, nullptr, ROUNDS},
                                   {"cost", required_argument, nullptr, COST},
                                   {nullptr, 0, nullptr, 0}};
  Options o;
  opterr = 0;  // the usage line says it all
  bool ok = true;
  for (int opt; ok && (opt = getopt_long(argc, argv, "", options, nullptr)) != -1;) {
    switch (opt) {
      case CPUS:
        ok = std::sscanf(optarg, "%d,%d", &o.client_cpu, &o.server_cpu) == 2;
        break;
      case REQUESTS:
        ok = parse_int(optarg, &o.requests);
        break;
      case CYCLES:
        ok = parse_int(optarg, &o.cycles);
        break;
      case ROUNDS:
        ok = parse_int(optarg, &o.rounds) && o.rounds > 0;
        break;
      case COST:
        ok = parse_int(optarg, &o.cost_requests);
        break;
      default:
        ok = false;
    }
  }
  if (!ok || optind < argc) {
    std::fprintf(stderr,
                 "usage: capture_bench [--cpus CLIENT,SERVER] [--requests N] [--cycles N] "
                 "[--rounds N] | --cost N\n");
    std::exit(2);
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse_options(argc, argv);
  set_registry_object_name(registry_name().c_str());
  start_sockets();
  // The bench runs the server thread itself, as start_capture_server does, to
  // pin it to a CPU and read its CPU time through its handle.
  platform::JoystickCapabilities caps{};
  fix_axis_scale(&caps);
  pthread_t server{};
  try {
    std::thread thread(server_thread, nullptr);
    server = thread.native_handle();
    thread.detach();
  } catch (const std::system_error&) {
    std::fprintf(stderr, "capture_bench: cannot start the server thread\n");
    return 1;
  }

  int status = 0;
  if (o.cost_requests >= 0) {
    status = run_cost(o.cost_requests);
  } else {
    std::printf("# requests=%d cycles=%d rounds=%d; times are round trips or whole cycles\n",
                o.requests, o.cycles, o.rounds);
    const Placement placements[] = {
        {"same_cpu", o.server_cpu, o.server_cpu},
        {"cross_cpu", o.client_cpu, o.server_cpu},
    };
    for (const Placement& at : placements) {
      std::printf("# %s: client on CPU %d, server on CPU %d\n", at.name, at.client_cpu,
                  at.server_cpu);
      run_placement(at, server, o);
    }
  }
  ::shm_unlink(registry_name().c_str());
  return status;
}
