#include "platform/named_objects_windows.h"

#include <cerrno>

#include "platform/errno_keeper.h"

namespace platform {
namespace {

// The reason of the last failed kernel call, as an errno value.
int errno_from_system(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_COMMITMENT_LIMIT:
      return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_INVALID_HANDLE:
      // The name belongs to a kernel object of another kind.
      return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}

int fail() {
  errno = errno_from_system(::GetLastError());
  return -1;
}

}  // namespace

std::string session_object_name(const char* name) {
  std::string kernel_name = "Local\\";
  kernel_name += name[0] == '/' ? name + 1 : name;
  for (std::size_t i = 6; i < kernel_name.size(); ++i) {
    if (kernel_name[i] == '\\') kernel_name[i] = '_';
  }
  return kernel_name;
}

NamedMapping::~NamedMapping() {
  ErrnoKeeper keep_errno;
  if (m_view) ::UnmapViewOfFile(m_view);
  if (m_mapping) ::CloseHandle(m_mapping);
}

int NamedMapping::open(const char* name, std::size_t size, bool* existed) {
  std::string kernel_name = session_object_name(name);
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(size), kernel_name.c_str());
  // Read at once: whether the object was there before this call.
  const bool was_there = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (!mapping) return fail();
  void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    int result = fail();
    ::CloseHandle(mapping);
    return result;
  }
  MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(view, &region, sizeof region);
  m_mapping = mapping;
  m_view = view;
  m_size = region.RegionSize;
  *existed = was_there;
  return 0;
}

NamedMutex::~NamedMutex() {
  unlock();
  if (m_mutex) ::CloseHandle(m_mutex);
}

int NamedMutex::lock(const char* kernel_name, DWORD timeout_ms) {
  if (!m_mutex) {
    m_mutex = ::CreateMutexA(nullptr, FALSE, kernel_name);
    if (!m_mutex) return fail();
  }
  switch (::WaitForSingleObject(m_mutex, timeout_ms)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      // Abandoned: its holder ended without releasing it; it is ours now.
      m_held = true;
      return 0;
    case WAIT_TIMEOUT:
      errno = EAGAIN;
      return -1;
    default:
      return fail();
  }
}

void NamedMutex::unlock() {
  if (!m_held) return;
  ::ReleaseMutex(m_mutex);
  m_held = false;
}

int mutex_held_elsewhere(const char* kernel_name) {
  HANDLE mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kernel_name);
  if (!mutex) return 0;
  int held = 1;
  DWORD result = ::WaitForSingleObject(mutex, 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
    ::ReleaseMutex(mutex);
    held = 0;
  }
  ::CloseHandle(mutex);
  return held;
}

}  // namespace platform
