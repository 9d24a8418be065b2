// Named shared memory on Windows: a session-local mapping of the paging file,
// mapped once for as long as it is held, and named mutexes for the byte
// locks. A mapping never changes size, so no other process can pull memory
// from under a read; the system releases a mutex whose holder died.

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/errno_keeper.h"
#include "platform/named_objects_windows.h"
#include "platform/shared_memory.h"

namespace platform {
namespace {

struct SharedObject {
  std::string name;
  NamedMapping mapping;
  // The locks try_lock_byte took, by byte, held until the object is closed.
  std::map<off_t, std::unique_ptr<NamedMutex>> held;
};

// The objects this process holds; a descriptor is an index into it. Never
// freed: the server may touch the registry while the process exits.
std::mutex& table_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

std::vector<std::unique_ptr<SharedObject>>& table() {
  static auto* objects = new std::vector<std::unique_ptr<SharedObject>>;
  return *objects;
}

SharedObject* object_of(int fd) {
  std::lock_guard<std::mutex> lock(table_lock());
  if (fd < 0 || static_cast<std::size_t>(fd) >= table().size()) {
    errno = EBADF;
    return nullptr;
  }
  return table()[static_cast<std::size_t>(fd)].get();
}

// The mutex that stands for one byte of an object.
std::string byte_mutex_name(const SharedObject& object, off_t offset) {
  return session_object_name(object.name.c_str()) + ".lock." + std::to_string(offset);
}

// The part of [offset, offset + size) that lies in the view: false with errno
// when none of it can.
bool in_view(const SharedObject& object, off_t offset, std::size_t size, std::size_t* inside) {
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  auto start = static_cast<std::size_t>(offset);
  *inside = start >= object.mapping.size() ? 0 : std::min(size, object.mapping.size() - start);
  return true;
}

}  // namespace

int open_shared_object(const char* name, std::size_t size, bool* existed, uid_t* owner,
                       LockWaitNotice) {
  auto object = std::make_unique<SharedObject>();
  object->name = name;
  if (object->mapping.open(name, size, existed) < 0) return -1;
  if (owner) *owner = 0;
  std::lock_guard<std::mutex> lock(table_lock());
  for (std::size_t i = 0; i < table().size(); ++i) {
    if (!table()[i]) {
      table()[i] = std::move(object);
      return static_cast<int>(i);
    }
  }
  table().push_back(std::move(object));
  return static_cast<int>(table().size() - 1);
}

int open_shared_object_for_reading(const char* name, bool* existed, uid_t* owner,
                                   LockWaitNotice notice) {
  // A mapping exists only while some process holds it: a missing one is
  // never created here. One that exists is held like any other.
  HANDLE present = ::OpenFileMappingA(FILE_MAP_READ, FALSE, session_object_name(name).c_str());
  if (!present) {
    errno = ::GetLastError() == ERROR_FILE_NOT_FOUND ? ENOENT : EACCES;
    return -1;
  }
  int fd = open_shared_object(name, 1, existed, owner, notice);
  ::CloseHandle(present);
  return fd;
}

void close_shared_object(int fd) {
  ErrnoKeeper keep_errno;
  std::unique_ptr<SharedObject> closing;
  {
    std::lock_guard<std::mutex> lock(table_lock());
    if (fd >= 0 && static_cast<std::size_t>(fd) < table().size()) {
      closing = std::move(table()[static_cast<std::size_t>(fd)]);
    }
  }
  closing.reset();
}

std::string user_object_name(const char* base) { return base; }

bool owned_by_another_user(const char*, int, uid_t, std::string*, std::string*) { return false; }

std::string shared_object_location(const char* name) { return name; }

unsigned shared_object_links(const char*) { return 1; }

bool usable_object_name(const char*) { return true; }

bool occupied_by_non_file(const char*) { return false; }

bool held_object_removed(int) { return false; }

void keep_held_object_private(int) {}

// A mapping cannot grow: one its creator made smaller than size stays so.
int extend_shared(int fd, std::size_t size) {
  SharedObject* object = object_of(fd);
  if (!object) return -1;
  if (object->mapping.size() >= size) return 0;
  errno = ENOSPC;
  return -1;
}

bool system_read_shared(int fd, void* dst, std::size_t size, off_t offset) {
  SharedObject* object = object_of(fd);
  std::size_t inside = 0;
  if (!object || !in_view(*object, offset, size, &inside)) return false;
  const auto* view = static_cast<const unsigned char*>(object->mapping.view());
  if (inside > 0) std::memcpy(dst, view + offset, inside);
  // Bytes past the end read as zeros, as on Linux.
  std::memset(static_cast<unsigned char*>(dst) + inside, 0, size - inside);
  return true;
}

bool system_write_shared(int fd, const void* src, std::size_t size, off_t offset) {
  SharedObject* object = object_of(fd);
  std::size_t inside = 0;
  if (!object || !in_view(*object, offset, size, &inside)) return false;
  if (inside < size) {
    errno = ENOSPC;
    return false;
  }
  std::memcpy(static_cast<unsigned char*>(object->mapping.view()) + offset, src, size);
  return true;
}

ByteLock::ByteLock(int fd, off_t offset, const char* object_name, LockWaitNotice notice)
    : m_fd(fd), m_offset(offset), m_locked(false) {
  SharedObject* object = object_of(fd);
  if (!object) return;
  const std::string kernel_name = byte_mutex_name(*object, offset);
  auto mutex = std::make_unique<NamedMutex>();
  if (mutex->lock(kernel_name.c_str(), LOCK_WAIT_NOTICE_MS) < 0) {
    if (errno != EAGAIN) return;
    if (notice) notice(object_name);
    if (mutex->lock(kernel_name.c_str(), INFINITE) < 0) return;
  }
  m_mutex = mutex.release();
  m_locked = true;
}

ByteLock::~ByteLock() {
  ErrnoKeeper keep_errno;
  delete static_cast<NamedMutex*>(m_mutex);
}

int try_lock_byte(int fd, off_t offset) {
  SharedObject* object = object_of(fd);
  if (!object) return -1;
  if (object->held.count(offset)) return 0;
  auto mutex = std::make_unique<NamedMutex>();
  if (mutex->lock(byte_mutex_name(*object, offset).c_str(), 0) < 0) return -1;
  object->held[offset] = std::move(mutex);
  return 0;
}

int byte_locked_elsewhere(int fd, off_t offset) {
  SharedObject* object = object_of(fd);
  if (!object) return -1;
  // Held through this very descriptor, whichever of our threads took it.
  if (object->held.count(offset)) return 0;
  return mutex_held_elsewhere(byte_mutex_name(*object, offset).c_str());
}

}  // namespace platform
