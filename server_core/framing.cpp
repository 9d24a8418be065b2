#include "server_core/framing.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/net.h"

namespace {

// Process-wide and owned by the server thread. The block only grows and is
// never freed: it is reused by every later message and session.
unsigned char* g_buffer = nullptr;
std::uint32_t g_capacity = 0;
std::uint32_t g_length = 0;
std::uint32_t g_last_type = 0;

}  // namespace

std::uint32_t read_message(int sock) {
  MessageHeader header;
  int got = recv_all(sock, &header, sizeof header);
  if (got < 0) return 0;
  if (got < static_cast<int>(sizeof header)) return MSG_END;

  std::uint32_t type = ntohl(header.type);
  // A length of 0 or with the top bit set carries no payload; the next byte
  // starts the next header.
  auto length = static_cast<std::int32_t>(ntohl(header.length));
  std::uint32_t payload = 0;
  if (length > 0) {
    payload = static_cast<std::uint32_t>(length);
    if (payload > MAX_PAYLOAD) {
      errno = EMSGSIZE;
      return 0;
    }
    if (payload > g_capacity) {
      std::free(g_buffer);
      g_buffer = static_cast<unsigned char*>(std::malloc(payload));
      g_capacity = g_buffer ? payload : 0;
      if (!g_buffer) {
        errno = ENOMEM;
        return 0;
      }
    }
    got = recv_all(sock, g_buffer, length);
    if (got < 0) return 0;
    if (got < length) return MSG_END;
  }
  g_length = payload;
  g_last_type = type;
  return type;
}

int send_message(int sock, std::uint32_t type, const void* payload, int length) {
  MessageHeader header{htonl(type), htonl(static_cast<std::uint32_t>(length))};
  constexpr int HEADER_SIZE = sizeof header;
  if (length <= 0) {
    if (send_all(sock, &header, HEADER_SIZE) != HEADER_SIZE) return -1;
    return send_all(sock, payload, length);
  }
  // Header and payload go to the kernel in one call, so a reply leaves as one
  // segment and the client wakes once for it. Whatever the call left unsent is
  // sent as before, and the results stay those of two separate sends.
  const iovec parts[2] = {{&header, sizeof header},
                          {const_cast<void*>(payload), static_cast<std::size_t>(length)}};
  ssize_t sent = platform::net().send_parts(sock, parts, 2);
  if (sent <= 0) return -1;
  if (sent < HEADER_SIZE) {
    int rest = HEADER_SIZE - static_cast<int>(sent);
    if (send_all(sock, reinterpret_cast<unsigned char*>(&header) + sent, rest) != rest) return -1;
    sent = HEADER_SIZE;
  }
  int payload_sent = static_cast<int>(sent) - HEADER_SIZE;
  if (payload_sent == length) return length;
  int rest = send_all(sock, static_cast<const unsigned char*>(payload) + payload_sent,
                      length - payload_sent);
  return rest <= 0 ? rest : length;
}

const unsigned char* receive_buffer() { return g_buffer; }
std::uint32_t received_length() { return g_length; }
std::uint32_t last_message_type() { return g_last_type; }
