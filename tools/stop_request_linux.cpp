#include <cerrno>
#include <csignal>
#include <ctime>

#include "tools/stop_request.h"

namespace probe {
namespace {

sigset_t g_stop_set;
sigset_t g_previous;

}  // namespace

StopRequest::StopRequest() {
  sigemptyset(&g_stop_set);
  sigaddset(&g_stop_set, SIGINT);
  sigaddset(&g_stop_set, SIGTERM);
  sigprocmask(SIG_BLOCK, &g_stop_set, &g_previous);
}

StopRequest::~StopRequest() {
  while (pending()) {
  }
  sigprocmask(SIG_SETMASK, &g_previous, nullptr);
}

bool StopRequest::wait_until(Clock::time_point deadline) {
  for (;;) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return pending();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    if (sigtimedwait(&g_stop_set, nullptr, &timeout) > 0) return true;
    if (errno == EAGAIN) return false;
  }
}

bool StopRequest::pending() {
  timespec now{0, 0};
  return sigtimedwait(&g_stop_set, nullptr, &now) > 0;
}

}  // namespace probe
