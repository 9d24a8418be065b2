#include "bench/bench_net.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace bench {

namespace {

bool pin(pthread_t handle, int cpu) {
  if (cpu < 0 || cpu >= CPU_SETSIZE) return false;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(static_cast<std::size_t>(cpu), &set);
  return pthread_setaffinity_np(handle, sizeof set, &set) == 0;
}

std::int64_t to_ns(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

bool pin_current_thread(int cpu) { return pin(pthread_self(), cpu); }
bool pin_thread(pthread_t handle, int cpu) { return pin(handle, cpu); }

int listen_loopback(std::uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 16) < 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

void set_no_delay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

std::int64_t now_ns() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return to_ns(t);
}

std::int64_t thread_cpu_ns(pthread_t handle) {
  clockid_t clock;
  if (pthread_getcpuclockid(handle, &clock) != 0) return 0;
  timespec t{};
  ::clock_gettime(clock, &t);
  return to_ns(t);
}

Summary summarise(std::vector<std::int64_t>* samples_ns) {
  Summary s;
  std::vector<std::int64_t>& v = *samples_ns;
  s.count = v.size();
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  double total = 0;
  for (std::int64_t x : v) total += static_cast<double>(x);
  s.mean_us = total / static_cast<double>(v.size()) / 1000.0;
  s.median_us = static_cast<double>(v[v.size() / 2]) / 1000.0;
  s.p99_us = static_cast<double>(v[std::min(v.size() - 1, v.size() * 99 / 100)]) / 1000.0;
  return s;
}

}  // namespace bench
