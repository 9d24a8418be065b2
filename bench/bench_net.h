#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Listening, pinning and timing helpers shared by the benchmark's clients and
// its bare servers; connections and whole reads and writes come from the test
// support's stream I/O. Everything stays on 127.0.0.1.
namespace bench {

// Pins the calling thread, or the thread behind handle, to one CPU. False when
// the CPU does not exist or the call is refused.
bool pin_current_thread(int cpu);
bool pin_thread(pthread_t handle, int cpu);

// A blocking IPv4 listener on 127.0.0.1 with a system-chosen port; *port gets
// it in host order. -1 on failure.
int listen_loopback(std::uint16_t* port);
void set_no_delay(int fd);

// Monotonic clock in nanoseconds, and the CPU time a thread has used so far.
std::int64_t now_ns();
std::int64_t thread_cpu_ns(pthread_t handle);

// Summary of a set of round-trip or cycle times, in nanoseconds.
struct Summary {
  double median_us = 0;
  double p99_us = 0;
  double mean_us = 0;
  std::size_t count = 0;
};
// Sorts samples in place.
Summary summarise(std::vector<std::int64_t>* samples_ns);

}  // namespace bench
