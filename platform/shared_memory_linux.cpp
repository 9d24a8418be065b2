#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

int set_byte_lock(int fd, off_t offset, short type) {
  struct flock request {};
  request.l_type = type;
  request.l_whence = SEEK_SET;
  request.l_start = offset;
  request.l_len = 1;
  int r;
  do {
    r = ::fcntl(fd, F_OFD_SETLKW, &request);
  } while (r < 0 && errno == EINTR);
  return r;
}

int flock_retrying(int fd, int operation) {
  int r;
  do {
    r = ::flock(fd, operation);
  } while (r < 0 && errno == EINTR);
  return r;
}

int grow_to(int fd, std::size_t size) {
  struct stat st {};
  if (::fstat(fd, &st) < 0) return -1;
  if (static_cast<std::size_t>(st.st_size) >= size) return 0;
  return ::ftruncate(fd, static_cast<off_t>(size));
}

int zero_fill(int fd, std::size_t size) {
  static const char zeros[4096] = {};
  std::size_t done = 0;
  while (done < size) {
    std::size_t chunk = size - done < sizeof zeros ? size - done : sizeof zeros;
    ssize_t n = ::pwrite(fd, zeros, chunk, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

int open_shared_object(const char* name, std::size_t size, bool* existed) {
  // The refused exclusive lock below is expected, not a failure: a success
  // leaves errno as the caller had it.
  const int caller_errno = errno;
  UniqueFd fd(::shm_open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd.valid()) return -1;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
    // No other holder: the object is new, even if a crashed holder left a file.
    if (grow_to(fd.get(), size) < 0 || zero_fill(fd.get(), size) < 0) return -1;
    if (flock_retrying(fd.get(), LOCK_SH) < 0) return -1;
    *existed = false;
  } else {
    if (errno != EWOULDBLOCK) return -1;
    // Waits while a new holder still zeroes the object under its exclusive lock.
    if (flock_retrying(fd.get(), LOCK_SH) < 0) return -1;
    if (grow_to(fd.get(), size) < 0) return -1;
    *existed = true;
  }
  errno = caller_errno;
  return fd.release();
}

MappedRegion::MappedRegion(int fd, std::size_t size) : m_addr(nullptr), m_size(size) {
  void* addr = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (addr != MAP_FAILED) m_addr = addr;
}

MappedRegion::~MappedRegion() {
  if (m_addr) {
    int saved = errno;
    ::munmap(m_addr, m_size);
    errno = saved;
  }
}

ByteLock::ByteLock(int fd, off_t offset)
    : m_fd(fd), m_offset(offset), m_locked(set_byte_lock(fd, offset, F_WRLCK) == 0) {}

ByteLock::~ByteLock() {
  if (m_locked) {
    int saved = errno;
    set_byte_lock(m_fd, m_offset, F_UNLCK);
    errno = saved;
  }
}

}  // namespace platform

namespace platform {

void close_shared_object(int fd) { close_descriptor(fd); }

}  // namespace platform
