#pragma once

#include <cerrno>

namespace platform {

// Puts errno back as it was when the scope began: for cleanup (a close, an
// unlock, a withdrawal) whose own failure must not replace the error the
// caller is about to report.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : m_saved(errno) {}
  ~ErrnoKeeper() { errno = m_saved; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int m_saved;
};

}  // namespace platform
