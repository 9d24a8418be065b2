#pragma once

#include <chrono>

namespace probe {

// The user's request to stop (Ctrl-C, or SIGTERM on Linux), noticed only
// where watch waits, for the life of the object: on Linux the stop signals
// are blocked meanwhile and any still pending is consumed at the end, so a
// Ctrl-C that came during the last request cannot kill the process after the
// session has ended; on Windows a console control handler takes Ctrl-C and
// Ctrl-Break instead of ending the process.
class StopRequest {
 public:
  using Clock = std::chrono::steady_clock;

  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Sleeps until deadline; true when a stop request came first.
  bool wait_until(Clock::time_point deadline);
  // Takes one pending stop request, if any, without waiting.
  bool pending();
};

}  // namespace probe
