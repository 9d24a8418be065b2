#pragma once

#include <cstddef>

namespace platform {

// Writes size bytes of data to standard error with one write call, so that a
// line never mixes with another thread's: the bytes written, or -1 with errno.
long write_standard_error(const void* data, std::size_t size);

}  // namespace platform
