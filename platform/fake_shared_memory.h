#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shared_memory.h"

namespace platform {

// Records every write to a shared object, in order, and passes each read and
// write on to the system: a test sees which bytes the code under test wrote
// and in what order. Installed for the lifetime of the scope.
class RecordingSharedBytes : public SharedBytes {
 public:
  struct Write {
    int fd;
    off_t offset;
    std::string bytes;
  };

  RecordingSharedBytes() { set_shared_bytes(this); }
  ~RecordingSharedBytes() override { set_shared_bytes(nullptr); }
  RecordingSharedBytes(const RecordingSharedBytes&) = delete;
  RecordingSharedBytes& operator=(const RecordingSharedBytes&) = delete;

  bool read(int fd, void* dst, std::size_t size, off_t offset) override;
  bool write(int fd, const void* src, std::size_t size, off_t offset) override;

  // The writes so far, oldest first.
  std::vector<Write> writes() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<Write> m_writes;
};

}  // namespace platform
