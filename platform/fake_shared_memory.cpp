#include "platform/fake_shared_memory.h"

namespace platform {

bool RecordingSharedBytes::read(int fd, void* dst, std::size_t size, off_t offset) {
  return system_read_shared(fd, dst, size, offset);
}

bool RecordingSharedBytes::write(int fd, const void* src, std::size_t size, off_t offset) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.push_back({fd, offset, std::string(static_cast<const char*>(src), size)});
  }
  return system_write_shared(fd, src, size, offset);
}

std::vector<RecordingSharedBytes::Write> RecordingSharedBytes::writes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_writes;
}

}  // namespace platform
