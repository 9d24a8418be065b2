// The socket seam's parts that are the same on every system.

#ifndef _WIN32
#include <netdb.h>
#endif

#include "platform/net.h"

namespace platform {

int connect_loopback(std::uint16_t port, int timeout_ms) {
  return connect_address(htonl(INADDR_LOOPBACK), port, timeout_ms);
}

int resolve_ipv4(const char* host, std::uint32_t* net_address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return -1;
  *net_address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 0;
}

}  // namespace platform
