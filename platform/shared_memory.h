#pragma once

#include <sys/types.h>

#include <cstddef>

#include "platform/unique_fd.h"

namespace platform {

// Opens the POSIX shared-memory object `name` (mode 0600, close-on-exec) and
// holds it: the descriptor keeps a shared flock for as long as it stays open,
// and the object counts as existing only while some process holds it that way.
// An opener that finds no other holder treats the object as new, whatever a file
// left behind holds: it zeroes the first `size` bytes (*existed = false).
// Otherwise *existed = true. Either way the object is at least `size` bytes long.
// Returns the descriptor, or -1 with errno.
//
// On Windows the object is a named mapping of the paging file, one page, in
// the user's own session ("Local\" and the name without its '/'); the system
// zeroes a new one and removes it with its last handle, so no file is ever
// left behind. The descriptor is then this program's own handle number.
int open_shared_object(const char* name, std::size_t size, bool* existed);

// Lets go of an object that open_shared_object opened; keeps errno.
void close_shared_object(int fd);
using UniqueSharedObject = UniqueDescriptor<close_shared_object>;

// A read-write shared view of the first `size` bytes of a descriptor; unmapped
// when the owner goes.
class MappedRegion {
 public:
  MappedRegion(int fd, std::size_t size);
  MappedRegion(const MappedRegion&) = delete;
  MappedRegion& operator=(const MappedRegion&) = delete;
  ~MappedRegion();

  // Null when the mapping failed (errno tells why).
  void* get() const { return m_addr; }

 private:
  void* m_addr;
  std::size_t m_size;
};

// Holds an open-file-description write lock on one byte of a file for its
// lifetime, waiting for it. Processes that hold the lock on the same byte
// exclude each other, whichever descriptor or thread they use. On Windows it
// is a named mutex per object and byte, which the system releases should its
// holder die.
class ByteLock {
 public:
  ByteLock(int fd, off_t offset);
  ByteLock(const ByteLock&) = delete;
  ByteLock& operator=(const ByteLock&) = delete;
  ~ByteLock();

  bool locked() const { return m_locked; }

 private:
  int m_fd;
  off_t m_offset;
  bool m_locked;
  void* m_mutex = nullptr;  // Windows: the named mutex's handle
};

}  // namespace platform
