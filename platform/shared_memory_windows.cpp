// Named shared memory on Windows: a session-local mapping of the paging file,
// mapped once for as long as it is held, and named mutexes for the locks.

#include <windows.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/named_objects_windows.h"
#include "platform/shared_memory.h"

namespace platform {
namespace {

struct SharedObject {
  std::string name;
  NamedMapping mapping;
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
  if (fd < 0 || static_cast<std::size_t>(fd) >= table().size()) return nullptr;
  return table()[static_cast<std::size_t>(fd)].get();
}

}  // namespace

int open_shared_object(const char* name, std::size_t size, bool* existed) {
  auto object = std::make_unique<SharedObject>();
  object->name = name;
  if (object->mapping.open(name, size, existed) < 0) return -1;
  if (object->mapping.size() < size) {
    // Made smaller by someone else; a mapping cannot grow.
    errno = ENOSPC;
    return -1;
  }
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

void close_shared_object(int fd) {
  int saved = errno;
  std::unique_ptr<SharedObject> closing;
  {
    std::lock_guard<std::mutex> lock(table_lock());
    if (fd >= 0 && static_cast<std::size_t>(fd) < table().size()) {
      closing = std::move(table()[static_cast<std::size_t>(fd)]);
    }
  }
  closing.reset();
  errno = saved;
}

// The object's one view serves every region: a region never outlives the hold
// on its object.
MappedRegion::MappedRegion(int fd, std::size_t size) : m_addr(nullptr), m_size(size) {
  SharedObject* object = object_of(fd);
  if (!object) {
    errno = EBADF;
    return;
  }
  m_addr = object->mapping.view();
}

MappedRegion::~MappedRegion() = default;

ByteLock::ByteLock(int fd, off_t offset) : m_fd(fd), m_offset(offset), m_locked(false) {
  SharedObject* object = object_of(fd);
  if (!object) {
    errno = EBADF;
    return;
  }
  std::string kernel_name =
      session_object_name(object->name.c_str()) + ".lock." + std::to_string(offset);
  auto* mutex = new NamedMutex;
  if (mutex->lock(kernel_name.c_str(), INFINITE) < 0) {
    delete mutex;
    return;
  }
  m_mutex = mutex;
  m_locked = true;
}

ByteLock::~ByteLock() {
  int saved = errno;
  delete static_cast<NamedMutex*>(m_mutex);
  errno = saved;
}

}  // namespace platform
