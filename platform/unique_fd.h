#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/errno_keeper.h"

namespace platform {

// Owns one descriptor-like int and lets it go with Close on destruction. The
// closers keep errno, so a failure path that returns through this destructor
// still reports the reason of the failure and not of the cleanup.
template <void (*Close)(int)>
class UniqueDescriptor {
 public:
  UniqueDescriptor() = default;
  explicit UniqueDescriptor(int fd) : m_fd(fd) {}
  UniqueDescriptor(UniqueDescriptor&& other) noexcept : m_fd(other.release()) {}
  UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
  ~UniqueDescriptor() { reset(); }

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }

  // Hands the descriptor over to the caller, who closes it from now on.
  int release() { return std::exchange(m_fd, -1); }

  void reset(int fd = -1) {
    if (m_fd >= 0) Close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

// Closes a file descriptor, keeping errno.
inline void close_descriptor(int fd) {
  ErrnoKeeper keep_errno;
  ::close(fd);
}

// A file descriptor: a shared-memory object or a device on Linux.
using UniqueFd = UniqueDescriptor<close_descriptor>;

}  // namespace platform
