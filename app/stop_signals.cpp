#include "app/stop_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

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

}  // namespace

void block_stop_signals() {
  sigset_t set = stop_signal_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignalWatcher::StopSignalWatcher(std::function<void()> on_stop)
    : m_on_stop(std::move(on_stop)) {
  sigset_t set = stop_signal_set();
  m_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (m_fd < 0) return;
  m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &StopSignalWatcher::read_signals);
}

StopSignalWatcher::~StopSignalWatcher() {
  delete m_notifier;
  if (m_fd >= 0) ::close(m_fd);
}

void StopSignalWatcher::read_signals() {
  signalfd_siginfo info;
  bool stopped = false;
  while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) stopped = true;
  if (stopped) m_on_stop();
}
