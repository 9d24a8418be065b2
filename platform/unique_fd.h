#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

// Owns one descriptor (socket, shared-memory object, device) and closes it on
// destruction. Closing keeps errno, so a failure path that returns through this
// destructor still reports the reason of the failure and not of the cleanup.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }

  // Hands the descriptor over to the caller, who closes it from now on.
  int release() { return std::exchange(m_fd, -1); }

  void reset(int fd = -1) {
    if (m_fd >= 0) {
      int saved = errno;
      ::close(m_fd);
      errno = saved;
    }
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

}  // namespace platform
