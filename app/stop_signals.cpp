#include "app/stop_signals.h"

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

namespace {

sigset_t stop_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // The terminal of an ssh -X or su session closing: end as cleanly, so the
  // private runtime directory goes too.
  sigaddset(&set, SIGHUP);
  return set;
}

// What a stop does now. Never destroyed: the stop signals' thread may use it
// while the process runs its exit actions.
struct StopPhase {
  std::mutex mutex;
  bool at_once = true;
  void (*ask_to_end)() = nullptr;
  int status = 0;
  std::string directory;
};
StopPhase& g_phase = *new StopPhase;

// Ends the process with the phase's status, the directory removed. Phase
// mutex held, so the main thread neither makes nor hands over another.
// _Exit: the main thread may be anywhere, so no exit action may run beside it.
[[noreturn]] void end_process(const StopPhase& phase) {
  if (!phase.directory.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(phase.directory, ignored);
  }
  std::_Exit(phase.status);
}

void* take_stop_signals(void*) {
  const sigset_t set = stop_signal_set();
  int signal_number = 0;
  while (sigwait(&set, &signal_number) != 0) {
  }
  std::unique_lock<std::mutex> lock(g_phase.mutex);
  if (g_phase.at_once) end_process(g_phase);
  if (g_phase.ask_to_end) g_phase.ask_to_end();
  lock.unlock();
  // Later stop signals stay pending: the first one decides.
  std::this_thread::sleep_for(std::chrono::milliseconds(STOP_GRACE_MS));
  lock.lock();
  end_process(g_phase);
}

}  // namespace

void watch_stop_signals() {
  const sigset_t set = stop_signal_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Never joined: it ends with the process.
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &take_stop_signals, nullptr) == 0) {
    pthread_detach(thread);
  } else {
    // No one would take them: a stop then ends the process as by default,
    // without the clean-up, rather than never.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
}

void stop_at_once(int status) {
  std::lock_guard<std::mutex> lock(g_phase.mutex);
  g_phase.at_once = true;
  g_phase.ask_to_end = nullptr;
  g_phase.status = status;
}

void stop_through(void (*ask_to_end)(), int status) {
  std::lock_guard<std::mutex> lock(g_phase.mutex);
  g_phase.at_once = false;
  g_phase.ask_to_end = ask_to_end;
  g_phase.status = status;
}

std::unique_lock<std::mutex> hold_stop_signals() {
  return std::unique_lock<std::mutex>(g_phase.mutex);
}

void remove_at_stop(const std::string& directory) { g_phase.directory = directory; }
