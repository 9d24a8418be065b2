#include <atomic>

#include "platform/shared_memory.h"

namespace platform {
namespace {

std::atomic<SharedBytes*> g_replacement{nullptr};

}  // namespace

void set_shared_bytes(SharedBytes* replacement) {
  g_replacement.store(replacement, std::memory_order_release);
}

bool read_shared(int fd, void* dst, std::size_t size, off_t offset) {
  SharedBytes* replacement = g_replacement.load(std::memory_order_acquire);
  return replacement ? replacement->read(fd, dst, size, offset)
                     : system_read_shared(fd, dst, size, offset);
}

bool write_shared(int fd, const void* src, std::size_t size, off_t offset) {
  SharedBytes* replacement = g_replacement.load(std::memory_order_acquire);
  return replacement ? replacement->write(fd, src, size, offset)
                     : system_write_shared(fd, src, size, offset);
}

}  // namespace platform
