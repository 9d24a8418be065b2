#include <unistd.h>

#include "platform/standard_error.h"

namespace platform {

long write_standard_error(const void* data, std::size_t size) {
  return ::write(STDERR_FILENO, data, size);
}

}  // namespace platform
