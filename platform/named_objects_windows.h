#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The Windows kernel objects behind the registry: a named mapping of the
// paging file and named mutexes. Named objects of these kinds live in the
// user's own session ("Local\" names), so nobody else can open or rewrite
// them, and each exists only while some process holds a handle to it.

namespace platform {

// The session-local kernel name for an object name: "Local\" and the name
// without a leading '/' (a backslash may not stand in the rest).
std::string session_object_name(const char* name);

// A named, paging-file-backed mapping of at least `size` bytes, mapped for
// reading and writing for as long as this object lives. The system fills a
// new mapping with zeros.
class NamedMapping {
 public:
  NamedMapping() = default;
  NamedMapping(const NamedMapping&) = delete;
  NamedMapping& operator=(const NamedMapping&) = delete;
  ~NamedMapping();

  // Creates or opens the mapping: 0, *existed telling whether it existed
  // before this call (ERROR_ALREADY_EXISTS), or -1 with errno.
  int open(const char* name, std::size_t size, bool* existed);
  void* view() const { return m_view; }
  // The bytes the view covers: the mapping's size as its creator made it,
  // whole pages.
  std::size_t size() const { return m_size; }

 private:
  HANDLE m_mapping = nullptr;
  void* m_view = nullptr;
  std::size_t m_size = 0;
};

// A named mutex: held by one thread of one process at a time; when its holder
// ends (thread or process) without releasing it, the system releases it and
// the next waiter gets it.
class NamedMutex {
 public:
  NamedMutex() = default;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  // Releases it when held, then lets the handle go.
  ~NamedMutex();

  // Takes it, waiting at most timeout_ms (INFINITE for no limit): 0 when held
  // now, or -1 with errno (EAGAIN when another holder kept it that long).
  int lock(const char* kernel_name, DWORD timeout_ms);
  bool held() const { return m_held; }
  void unlock();

 private:
  HANDLE m_mutex = nullptr;
  bool m_held = false;
};

// Whether some thread other than the caller holds the named mutex: 1 or 0.
// A mutex nobody has open is held by nobody.
int mutex_held_elsewhere(const char* kernel_name);

}  // namespace platform
