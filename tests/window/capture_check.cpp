#include "tests/window/capture_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/shared_memory.h"
#include "server/registry.h"

namespace {

constexpr std::uint32_t IDENTIFY = 1;
constexpr std::uint32_t VERSION = 2;
constexpr std::uint32_t SERVER_INFO = 3;
constexpr std::uint32_t CHANNEL_INFO = 4;
constexpr std::uint32_t DATA = 5;
constexpr std::uint32_t END = 9;

void put_u32(std::vector<unsigned char>* bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes->push_back(static_cast<unsigned char>(value >> shift));
  }
}

std::uint32_t get_u32(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

bool send_request(int sock, std::uint32_t type, const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> message;
  put_u32(&message, type);
  put_u32(&message, static_cast<std::uint32_t>(payload.size()));
  message.insert(message.end(), payload.begin(), payload.end());
  std::size_t sent = 0;
  while (sent < message.size()) {
    ssize_t n = ::send(sock, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Receives exactly count bytes within timeout_ms.
bool recv_exact(int sock, unsigned char* dst, std::size_t count, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t got = 0;
  while (got < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd readable{sock, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) return false;
    ssize_t n = ::recv(sock, dst + got, count - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads one reply; false when it did not arrive whole in time or has another type.
bool read_reply(int sock, std::uint32_t type, int timeout_ms, std::vector<unsigned char>* payload,
                std::string* error) {
  unsigned char header[8];
  if (!recv_exact(sock, header, sizeof header, timeout_ms)) {
    *error = "no reply to request " + std::to_string(type);
    return false;
  }
  std::uint32_t reply_type = get_u32(header);
  std::uint32_t length = get_u32(header + 4);
  if (reply_type != type || length > 4096) {
    *error = "request " + std::to_string(type) + " answered with type " +
             std::to_string(reply_type) + ", length " + std::to_string(length);
    return false;
  }
  payload->assign(length, 0);
  if (length > 0 && !recv_exact(sock, payload->data(), length, timeout_ms)) {
    *error = "reply to request " + std::to_string(type) + " cut short";
    return false;
  }
  return true;
}

// The port published under name, in network byte order, or 0.
std::uint16_t published_port(int registry_fd, const char* name) {
  platform::MappedRegion view(registry_fd, REGISTRY_OBJECT_SIZE);
  auto* registry = static_cast<const SocketRegistry*>(view.get());
  if (!registry) return 0;
  int slot = find_slot(registry, name);
  if (slot < 0) return 0;
  return registry->slots[slot].port;
}

}  // namespace

int connect_to_capture_server(const char* name, int timeout_ms, std::string* error) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    bool existed = false;
    int registry_fd = open_registry(&existed);
    std::uint16_t port = registry_fd >= 0 ? published_port(registry_fd, name) : 0;
    if (registry_fd >= 0) ::close(registry_fd);
    if (port != 0) {
      int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = port;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (sock >= 0 &&
          ::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return sock;
      }
      if (sock >= 0) ::close(sock);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = std::string("no server published as ") + name + " in " + registry_object_name();
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool run_capture_requests(int sock, int timeout_ms, std::string* error,
                          std::vector<float>* values) {
  std::vector<unsigned char> reply;

  std::vector<unsigned char> identify(128, 0);
  std::memcpy(identify.data(), "capture_check", 13);
  if (!send_request(sock, IDENTIFY, identify) ||
      !read_reply(sock, IDENTIFY, timeout_ms, &reply, error)) {
    if (error->empty()) *error = "identify not sent";
    return false;
  }

  std::vector<unsigned char> version;
  put_u32(&version, 300);
  if (!send_request(sock, VERSION, version) ||
      !read_reply(sock, VERSION, timeout_ms, &reply, error)) {
    if (error->empty()) *error = "version not sent";
    return false;
  }
  if (reply.size() != 8 || get_u32(reply.data()) != 300) {
    *error = "version reply is not 300";
    return false;
  }

  if (!send_request(sock, SERVER_INFO, {}) ||
      !read_reply(sock, SERVER_INFO, timeout_ms, &reply, error)) {
    if (error->empty()) *error = "server info not sent";
    return false;
  }
  if (reply.size() != 336 || std::strncmp(reinterpret_cast<const char*>(reply.data()),
                                          "Orvandelcaster", 64) != 0) {
    *error = "server info does not name Orvandelcaster";
    return false;
  }

  if (!send_request(sock, CHANNEL_INFO, {}) ||
      !read_reply(sock, CHANNEL_INFO, timeout_ms, &reply, error)) {
    if (error->empty()) *error = "channel info not sent";
    return false;
  }
  if (reply.size() != 36 + 84 * 5 || get_u32(reply.data() + 32) != 5) {
    *error = "channel info does not hold four channels";
    return false;
  }

  if (!send_request(sock, DATA, {}) || !read_reply(sock, DATA, timeout_ms, &reply, error)) {
    if (error->empty()) *error = "data request not sent";
    return false;
  }
  if (reply.size() != 48) {
    *error = "data block is " + std::to_string(reply.size()) + " bytes, not 48";
    return false;
  }
  if (values) {
    // Four entries: index, dims (1), then the value's bit pattern, all big-endian.
    values->clear();
    for (std::size_t entry = 0; entry < 4; ++entry) {
      std::uint32_t bits = get_u32(reply.data() + 12 * entry + 8);
      float value;
      std::memcpy(&value, &bits, sizeof value);
      values->push_back(value);
    }
  }
  return true;
}

bool send_end(int sock) { return send_request(sock, END, {}); }

bool wait_for_silent_close(int sock, int timeout_ms, std::string* error) {
  pollfd readable{sock, POLLIN, 0};
  if (::poll(&readable, 1, timeout_ms) <= 0) {
    *error = "the connection stayed open";
    return false;
  }
  unsigned char byte;
  ssize_t n = ::recv(sock, &byte, 1, 0);
  if (n > 0) {
    *error = "the server sent more after the session";
    return false;
  }
  return true;
}
