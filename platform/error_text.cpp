#include "platform/error_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// Every number this program can meet: files and shared memory, threads,
// sockets. The texts are the GNU C library's, word for word.
constexpr ErrorText TEXTS[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
    {ENXIO, "No such device or address"},
    {E2BIG, "Argument list too long"},
    {EBADF, "Bad file descriptor"},
    {EAGAIN, "Resource temporarily unavailable"},
    {ENOMEM, "Cannot allocate memory"},
    {EACCES, "Permission denied"},
    {EFAULT, "Bad address"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {ENODEV, "No such device"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many open files in system"},
    {EMFILE, "Too many open files"},
    {ENOSPC, "No space left on device"},
    {EPIPE, "Broken pipe"},
    {ERANGE, "Numerical result out of range"},
    {EDEADLK, "Resource deadlock avoided"},
    {ENAMETOOLONG, "File name too long"},
    {ENOLCK, "No locks available"},
    {ENOSYS, "Function not implemented"},
    {ELOOP, "Too many levels of symbolic links"},
    {EOVERFLOW, "Value too large for defined data type"},
    {EPROTO, "Protocol error"},
    {ENOTSOCK, "Socket operation on non-socket"},
    {EDESTADDRREQ, "Destination address required"},
    {EMSGSIZE, "Message too long"},
    {EPROTOTYPE, "Protocol wrong type for socket"},
    {ENOPROTOOPT, "Protocol not available"},
    {EPROTONOSUPPORT, "Protocol not supported"},
    {EOPNOTSUPP, "Operation not supported"},
    {EAFNOSUPPORT, "Address family not supported by protocol"},
    {EADDRINUSE, "Address already in use"},
    {EADDRNOTAVAIL, "Cannot assign requested address"},
    {ENETDOWN, "Network is down"},
    {ENETUNREACH, "Network is unreachable"},
    {ENETRESET, "Network dropped connection on reset"},
    {ECONNABORTED, "Software caused connection abort"},
    {ECONNRESET, "Connection reset by peer"},
    {ENOBUFS, "No buffer space available"},
    {EISCONN, "Transport endpoint is already connected"},
    {ENOTCONN, "Transport endpoint is not connected"},
    {ETIMEDOUT, "Connection timed out"},
    {ECONNREFUSED, "Connection refused"},
    {EHOSTUNREACH, "No route to host"},
    {EALREADY, "Operation already in progress"},
    {EINPROGRESS, "Operation now in progress"},
    {ECANCELED, "Operation canceled"},
#if EWOULDBLOCK != EAGAIN
    // A number of its own on Windows; the same as EAGAIN on Linux.
    {EWOULDBLOCK, "Resource temporarily unavailable"},
#endif
};

}  // namespace

const ErrorText* error_texts(int* count) {
  *count = static_cast<int>(sizeof TEXTS / sizeof TEXTS[0]);
  return TEXTS;
}

const char* error_text(int error) {
  if (error <= 0) return nullptr;
#ifdef _WIN32
  for (const ErrorText& entry : TEXTS) {
    if (entry.error == error) return entry.text;
  }
  return nullptr;
#else
  // The C library knows exactly the numbers it has a text for.
  return strerrordesc_np(error);
#endif
}

const char* error_text_or_number(int error) {
  const char* text = error_text(error);
  if (text) return text;
  thread_local char unknown[32];
  std::snprintf(unknown, sizeof unknown, "Unknown error %d", error);
  return unknown;
}

}  // namespace platform
