#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "platform/errno_keeper.h"
#include "platform/shared_memory.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int set_byte_lock(int fd, off_t offset, short type, int command) {
  struct flock request {};
  request.l_type = type;
  request.l_whence = SEEK_SET;
  request.l_start = offset;
  request.l_len = 1;
  int r;
  do {
    r = ::fcntl(fd, command, &request);
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

// Waits for a lock that busy() says another process holds: quietly for
// LOCK_WAIT_NOTICE_MS, polling, then reported once; then take() waits as long
// as it must. busy() gives 1 (held elsewhere), 0 (free now) or -1 (failed).
template <typename Busy, typename Take>
int wait_then_take(const char* object_name, LockWaitNotice notice, Busy busy, Take take) {
  auto deadline = Clock::now() + std::chrono::milliseconds(LOCK_WAIT_NOTICE_MS);
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    int held = busy();
    if (held < 0) return -1;
    if (held == 0) break;
    if (Clock::now() >= deadline) {
      if (notice) notice(object_name);
      break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
  return take();
}

int take_shared_flock(int fd, const char* object_name, LockWaitNotice notice) {
  bool taken = false;
  auto busy = [&] {
    if (flock_retrying(fd, LOCK_SH | LOCK_NB) == 0) {
      taken = true;
      return 0;
    }
    return errno == EWOULDBLOCK ? 1 : -1;
  };
  return wait_then_take(object_name, notice, busy,
                        [&] { return taken ? 0 : flock_retrying(fd, LOCK_SH); });
}

int zero_fill(int fd, std::size_t size) {
  static const char zeros[4096] = {};
  std::size_t done = 0;
  while (done < size) {
    std::size_t chunk = size - done < sizeof zeros ? size - done : sizeof zeros;
    if (!write_shared(fd, zeros, chunk, static_cast<off_t>(done))) return -1;
    done += chunk;
  }
  return 0;
}

// Refuses an object that another user owns, that has another name or that is
// no regular file; a writer gives one of ours back its 0600.
int check_object(int fd, uid_t* owner, bool writer) {
  struct stat st {};
  if (::fstat(fd, &st) < 0) return -1;
  *owner = st.st_uid;
  if (st.st_uid != ::geteuid()) {
    errno = EPERM;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    errno = ENODEV;
    return -1;
  }
  if (st.st_nlink > 1) {
    errno = EMLINK;
    return -1;
  }
  if (writer && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) < 0) return -1;
  return 0;
}

// An object that could not be opened at all (another user's of mode 0600, a
// directory, ...) is refused as another user's when it is: its owner is what
// the user must know. The system keeps these objects in /dev/shm.
void refuse_if_foreign(const char* name, uid_t* owner) {
  const int error = errno;
  // Not an object name at all: nothing in /dev/shm to blame.
  if (!usable_object_name(name)) return;
  struct stat st {};
  if (::lstat(shared_object_location(name).c_str(), &st) == 0 && st.st_uid != ::geteuid()) {
    *owner = st.st_uid;
    errno = EPERM;
    return;
  }
  errno = error;
}

}  // namespace

int open_shared_object(const char* name, std::size_t size, bool* existed, uid_t* owner,
                       LockWaitNotice notice) {
  // The refused exclusive lock below is expected, not a failure: a success
  // leaves errno as the caller had it. Not an ErrnoKeeper: a failure's errno
  // is the caller's to report.
  const int caller_errno = errno;
  *owner = ::geteuid();
  // Non-blocking, so that a FIFO put in its place opens at once, to be refused.
  UniqueFd fd(::shm_open(name, O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    refuse_if_foreign(name, owner);
    return -1;
  }
  if (check_object(fd.get(), owner, true) < 0) return -1;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
    // No other holder: the object is new, even if a crashed holder left a file.
    if (extend_shared(fd.get(), size) < 0 || zero_fill(fd.get(), size) < 0) return -1;
    if (flock_retrying(fd.get(), LOCK_SH) < 0) return -1;
    *existed = false;
  } else {
    if (errno != EWOULDBLOCK) return -1;
    // Waits while a new holder still zeroes the object under its exclusive lock.
    if (take_shared_flock(fd.get(), name, notice) < 0) return -1;
    if (extend_shared(fd.get(), size) < 0) return -1;
    *existed = true;
  }
  errno = caller_errno;
  return fd.release();
}

std::string user_object_name(const char* base) {
  return "/" + std::string(base) + "." + std::to_string(::getuid());
}

bool owned_by_another_user(const char* name, int error, uid_t owner, std::string* owner_name,
                           std::string* location) {
  if (error != EPERM || owner == ::geteuid()) return false;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(owner, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name) {
    *owner_name = found->pw_name;
  } else {
    *owner_name = "uid " + std::to_string(owner);
  }
  *location = shared_object_location(name);
  return true;
}

std::string shared_object_location(const char* name) {
  return std::string("/dev/shm/") + (name[0] == '/' ? name + 1 : name);
}

bool usable_object_name(const char* name) {
  const std::string base = name[0] == '/' ? name + 1 : name;
  return !base.empty() && base != "." && base != ".." && base.find('/') == std::string::npos &&
         base.size() <= NAME_MAX;
}

bool occupied_by_non_file(const char* name) {
  struct stat st {};
  return usable_object_name(name) && ::lstat(shared_object_location(name).c_str(), &st) == 0 &&
         !S_ISREG(st.st_mode);
}

unsigned shared_object_links(const char* name) {
  struct stat st {};
  if (::stat(shared_object_location(name).c_str(), &st) != 0) return 0;
  return static_cast<unsigned>(st.st_nlink);
}

int open_shared_object_for_reading(const char* name, bool* existed, uid_t* owner,
                                   LockWaitNotice notice) {
  const int caller_errno = errno;
  *owner = ::geteuid();
  UniqueFd fd(::shm_open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  if (!fd.valid()) {
    if (errno != ENOENT) refuse_if_foreign(name, owner);
    return -1;
  }
  if (check_object(fd.get(), owner, false) < 0) return -1;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
    // No other holder: whatever the bytes say, nobody publishes in them.
    if (flock_retrying(fd.get(), LOCK_SH) < 0) return -1;
    *existed = false;
  } else {
    if (errno != EWOULDBLOCK) return -1;
    if (take_shared_flock(fd.get(), name, notice) < 0) return -1;
    *existed = true;
  }
  errno = caller_errno;
  return fd.release();
}

bool held_object_removed(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_nlink == 0;
}

void keep_held_object_private(int fd) {
  ErrnoKeeper keep_errno;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0) ::fchmod(fd, 0600);
}

int extend_shared(int fd, std::size_t size) {
  struct stat st {};
  if (::fstat(fd, &st) < 0) return -1;
  if (static_cast<std::size_t>(st.st_size) >= size) return 0;
  return ::ftruncate(fd, static_cast<off_t>(size));
}

bool system_read_shared(int fd, void* dst, std::size_t size, off_t offset) {
  auto* out = static_cast<char*>(dst);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      // Shortened by someone else: what is gone reads as zeros.
      std::memset(out + done, 0, size - done);
      return true;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool system_write_shared(int fd, const void* src, std::size_t size, off_t offset) {
  const auto* in = static_cast<const char*>(src);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd, in + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

ByteLock::ByteLock(int fd, off_t offset, const char* object_name, LockWaitNotice notice)
    : m_fd(fd), m_offset(offset), m_locked(false) {
  auto busy = [&] { return byte_locked_elsewhere(fd, offset); };
  auto take = [&] { return set_byte_lock(fd, offset, F_WRLCK, F_OFD_SETLKW); };
  m_locked = wait_then_take(object_name, notice, busy, take) == 0;
}

ByteLock::~ByteLock() {
  if (m_locked) {
    ErrnoKeeper keep_errno;
    set_byte_lock(m_fd, m_offset, F_UNLCK, F_OFD_SETLK);
  }
}

int try_lock_byte(int fd, off_t offset) { return set_byte_lock(fd, offset, F_WRLCK, F_OFD_SETLK); }

int byte_locked_elsewhere(int fd, off_t offset) {
  struct flock request {};
  request.l_type = F_WRLCK;
  request.l_whence = SEEK_SET;
  request.l_start = offset;
  request.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &request) < 0) return -1;
  return request.l_type != F_UNLCK ? 1 : 0;
}

}  // namespace platform

namespace platform {

void close_shared_object(int fd) { close_descriptor(fd); }

}  // namespace platform
