#pragma once

namespace platform {

// The errno value that means what a Windows Sockets error code means
// (WSAECONNREFUSED is ECONNREFUSED, and so on), so that code above the socket
// seam and its diagnostics read the same on both systems. A code without a
// counterpart gives EIO.
int errno_from_winsock(int wsa_error);

}  // namespace platform
