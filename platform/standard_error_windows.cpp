#include <io.h>

#include "platform/standard_error.h"

namespace platform {

long write_standard_error(const void* data, std::size_t size) {
  return ::_write(2, data, static_cast<unsigned>(size));
}

}  // namespace platform
