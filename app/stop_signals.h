#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP end the program the ordinary way, as closing the
// window does. They are blocked in every thread, so no thread's system call is cut
// short by them, and read from a signalfd on the main thread's event loop.

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and in every thread it
// starts afterwards. Call it first in main, before any other thread exists.
void block_stop_signals();

// Calls on_stop on the owning thread's event loop each time one of them
// arrives (one that arrived before is delivered on the first loop).
class StopSignalWatcher : public QObject {
  Q_OBJECT

 public:
  explicit StopSignalWatcher(std::function<void()> on_stop);
  ~StopSignalWatcher() override;
  StopSignalWatcher(const StopSignalWatcher&) = delete;
  StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

 private:
  void read_signals();

  std::function<void()> m_on_stop;
  int m_fd;
  QSocketNotifier* m_notifier = nullptr;
};
