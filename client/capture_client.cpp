#include "client/capture_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/shared_memory.h"
#include "server/diagnostics.h"
#include "server/framing.h"
#include "server/registry.h"
#include "server/session.h"

namespace client {
namespace {

// Replies are small; anything longer than this is not a reply of this protocol.
constexpr std::uint32_t MAX_REPLY_PAYLOAD = 16u << 20;

std::uint32_t word_at(const std::vector<unsigned char>& body, std::size_t offset) {
  std::uint32_t net;
  std::memcpy(&net, body.data() + offset, sizeof net);
  return ntohl(net);
}

std::uint32_t host_word_at(const std::vector<unsigned char>& body, std::size_t offset) {
  std::uint32_t value;
  std::memcpy(&value, body.data() + offset, sizeof value);
  return value;
}

std::string text_field(const unsigned char* field, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, ::strnlen(text, size));
}

const char* message_name(std::uint32_t type) {
  switch (type) {
    case MSG_DIAGNOSTIC: return "MSG_DIAGNOSTIC";
    case MSG_IDENTIFY: return "MSG_IDENTIFY";
    case MSG_VERSION: return "MSG_VERSION";
    case MSG_SERVER_INFO: return "MSG_SERVER_INFO";
    case MSG_CHANNEL_INFO: return "MSG_CHANNEL_INFO";
    case MSG_DATA: return "MSG_DATA";
    case MSG_END: return "MSG_END";
    default: return "an unknown message";
  }
}

}  // namespace

bool Registry::open(const char* object_name) {
  const char* name = object_name ? object_name : registry_object_name();
  bool existed = false;
  m_fd.reset(open_registry_object(name, &existed, &m_error));
  return m_fd.valid();
}

std::vector<RegistryEntry> Registry::entries() const {
  std::vector<RegistryEntry> found;
  if (!m_fd.valid()) {
    m_error = "the registry is not open";
    return found;
  }
  SocketRegistry registry;
  if (!read_registry(m_fd.get(), &registry)) {
    m_error = std::string("cannot read the registry: ") + std::strerror(errno);
    return found;
  }
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (!slot_in_use(registry, i)) continue;
    const RegistrySlot& slot = registry.slots[i];
    found.push_back({i, std::string(slot.name, ::strnlen(slot.name, REGISTRY_NAME_SIZE)),
                     ntohs(slot.port)});
  }
  return found;
}

std::optional<std::uint16_t> Registry::find(const std::string& name) const {
  for (const RegistryEntry& entry : entries()) {
    if (entry.name == name) return entry.port;
  }
  return std::nullopt;
}

bool Registry::running(const std::string& name) const {
  return m_fd.valid() &&
         platform::byte_locked_elsewhere(m_fd.get(), instance_lock_offset(name.c_str())) == 1;
}

std::optional<std::uint16_t> find_server(const std::string& name, std::string* error,
                                         const char* object_name) {
  Registry registry;
  if (!registry.open(object_name)) {
    *error = registry.error();
    return std::nullopt;
  }
  std::optional<std::uint16_t> port = registry.find(name);
  if (!port) {
    // While a server serves a client its name is withdrawn.
    *error = "no server named \"" + name + "\" in the registry" +
             (registry.running(name) ? " (it runs, busy with a client)" : " (not running)");
  }
  return port;
}

bool parse_diagnostic(const std::vector<unsigned char>& body, Diagnostic* out) {
  if (body.size() != static_cast<std::size_t>(DIAGNOSTIC_BODY_SIZE)) return false;
  out->level = word_at(body, 0);
  out->text = text_field(body.data() + 4, DIAGNOSTIC_LINE_SIZE);
  return true;
}

bool parse_server_info(const std::vector<unsigned char>& body, ServerInfo* out) {
  if (body.size() != static_cast<std::size_t>(SERVER_INFO_SIZE)) return false;
  out->name = text_field(body.data(), 64);
  out->version = text_field(body.data() + 64, 16);
  out->description = text_field(body.data() + 80, 256);
  return true;
}

bool parse_channel_info(const std::vector<unsigned char>& body, ChannelInfo* out) {
  constexpr std::size_t HEAD = 36, RECORD = 84;
  if (body.size() < HEAD) return false;
  for (int i = 0; i < 3; ++i) {
    out->whole[i] = static_cast<std::int32_t>(word_at(body, 8 * static_cast<std::size_t>(i)));
    out->millionths[i] = static_cast<std::int32_t>(word_at(body, 8 * static_cast<std::size_t>(i) + 4));
  }
  out->head_word_a = word_at(body, 24);
  out->head_word_b = word_at(body, 28);
  out->record_count = static_cast<std::int32_t>(word_at(body, 32));
  if (out->record_count < 0 ||
      body.size() != HEAD + RECORD * static_cast<std::size_t>(out->record_count)) {
    return false;
  }
  out->records.clear();
  for (std::size_t r = 0; r < static_cast<std::size_t>(out->record_count); ++r) {
    std::size_t at = HEAD + RECORD * r;
    ChannelRecordInfo record{};
    record.index = static_cast<std::int32_t>(word_at(body, at));
    record.parent = static_cast<std::int32_t>(word_at(body, at + 4));
    record.first_child = static_cast<std::int32_t>(word_at(body, at + 8));
    record.next_sibling = static_cast<std::int32_t>(word_at(body, at + 12));
    record.name = text_field(body.data() + at + 16, 32);
    record.word12 = static_cast<std::int32_t>(word_at(body, at + 48));
    record.word13 = static_cast<std::int32_t>(word_at(body, at + 52));
    record.word14 = static_cast<std::int32_t>(word_at(body, at + 56));
    for (std::size_t w = 0; w < 6; ++w) record.host_words[w] = host_word_at(body, at + 60 + 4 * w);
    out->records.push_back(record);
  }
  return true;
}

bool parse_data_block(const std::vector<unsigned char>& body, DataBlock* out) {
  if (body.size() % 4 != 0) return false;
  out->channels.clear();
  std::size_t at = 0;
  while (at < body.size()) {
    if (body.size() - at < 8) return false;
    ChannelValues channel;
    channel.index = static_cast<std::int32_t>(word_at(body, at));
    auto dims = static_cast<std::int32_t>(word_at(body, at + 4));
    at += 8;
    if (dims <= 0 || static_cast<std::size_t>(dims) > (body.size() - at) / 4) return false;
    for (std::int32_t k = 0; k < dims; ++k, at += 4) {
      std::uint32_t bits = word_at(body, at);
      float value;
      std::memcpy(&value, &bits, sizeof value);
      channel.values.push_back(value);
    }
    out->channels.push_back(std::move(channel));
  }
  return true;
}

bool Connection::connect_to_server(const std::string& name, const char* object_name,
                                   int timeout_ms) {
  std::string reason;
  std::optional<std::uint16_t> port = find_server(name, &reason, object_name);
  if (!port) return fail(reason);
  if (connect(*port, timeout_ms)) return true;
  if (errno == ECONNREFUSED) {
    return fail("\"" + name + "\" is not running (a server that ended left its name in the " +
                "registry, with port " + std::to_string(*port) + ")");
  }
  return fail("\"" + name + "\": " + m_error);
}

bool Connection::connect(std::uint16_t port, int timeout_ms) {
  m_diagnostic.reset();
  m_port = port;
  std::string where = "cannot connect to 127.0.0.1:" + std::to_string(port);
  m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m_fd.valid()) return fail_errno("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) {
    if (errno != EINPROGRESS) {
      m_fd.reset();
      return fail_errno(where);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int wait_ms = -1;
      if (timeout_ms >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        wait_ms = left > 0 ? static_cast<int>(left) : 0;
      }
      pollfd p{m_fd.get(), POLLOUT, 0};
      int ready = ::poll(&p, 1, wait_ms);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        m_fd.reset();
        return fail_errno(where);
      }
      if (ready == 0) {
        m_fd.reset();
        return fail(where + ": no answer within " + std::to_string(timeout_ms) + " ms");
      }
      break;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) < 0) error = errno;
    if (error != 0) {
      m_fd.reset();
      errno = error;
      return fail_errno(where);
    }
  }
  // Requests and replies block; read_reply bounds its own waits.
  int flags = ::fcntl(m_fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(m_fd.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) {
    m_fd.reset();
    return fail_errno(where);
  }
  int one = 1;
  ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

bool Connection::send_message(std::uint32_t type, const void* payload, std::uint32_t length) {
  if (!m_fd.valid()) return fail("not connected");
  unsigned char header[8];
  std::uint32_t words[2] = {htonl(type), htonl(length)};
  std::memcpy(header, words, sizeof header);
  iovec parts[2] = {{header, sizeof header}, {const_cast<void*>(payload), length}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = length ? 2 : 1;
  std::size_t total = sizeof header + length;
  std::size_t sent = 0;
  while (sent < total) {
    ssize_t n = ::sendmsg(m_fd.get(), &message, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail_errno(std::string("cannot send ") + message_name(type));
    sent += static_cast<std::size_t>(n);
    // Step past what went out.
    auto done = static_cast<std::size_t>(n);
    while (done > 0 && message.msg_iovlen > 0) {
      std::size_t part = std::min(done, message.msg_iov->iov_len);
      message.msg_iov->iov_base = static_cast<char*>(message.msg_iov->iov_base) + part;
      message.msg_iov->iov_len -= part;
      done -= part;
      if (message.msg_iov->iov_len == 0) {
        ++message.msg_iov;
        --message.msg_iovlen;
      }
    }
  }
  return true;
}

bool Connection::read_reply(Reply* reply) {
  if (!m_fd.valid()) return fail("not connected");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeout_ms);
  auto read_exact = [&](unsigned char* dst, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      pollfd p{m_fd.get(), POLLIN, 0};
      int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return fail_errno("cannot wait for the reply");
      if (ready == 0) return fail("no reply within " + std::to_string(m_timeout_ms) + " ms");
      ssize_t n = ::recv(m_fd.get(), dst + got, count - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail_errno("cannot receive the reply");
      if (n == 0) return fail("the server closed the connection");
      got += static_cast<std::size_t>(n);
    }
    return true;
  };
  unsigned char header[8];
  if (!read_exact(header, sizeof header)) return false;
  std::uint32_t words[2];
  std::memcpy(words, header, sizeof header);
  reply->type = ntohl(words[0]);
  std::uint32_t length = ntohl(words[1]);
  if (length > MAX_REPLY_PAYLOAD) {
    return fail("reply announces " + std::to_string(length) + " bytes, too long");
  }
  reply->payload.resize(length);
  return read_exact(reply->payload.data(), length);
}

bool Connection::request(std::uint32_t type, const void* payload, std::uint32_t length,
                         Reply* reply) {
  m_diagnostic.reset();
  if (!send_message(type, payload, length) || !read_reply(reply)) return false;
  if (reply->type == MSG_DIAGNOSTIC) {
    Diagnostic diagnostic;
    if (!parse_diagnostic(reply->payload, &diagnostic)) return fail("malformed diagnostic");
    m_diagnostic = diagnostic;
    std::string text = diagnostic.text;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return fail("the server answered " + std::string(message_name(type)) + " with: " + text);
  }
  if (reply->type != type) {
    return fail(std::string("expected a reply to ") + message_name(type) + ", got " +
                message_name(reply->type));
  }
  return true;
}

bool Connection::identify(const std::string& first, const std::string& second) {
  char body[2 * IDENTIFY_TEXT_SIZE];
  copy_text_field(body, IDENTIFY_TEXT_SIZE, first.c_str());
  copy_text_field(body + IDENTIFY_TEXT_SIZE, IDENTIFY_TEXT_SIZE, second.c_str());
  Reply reply;
  if (!request(MSG_IDENTIFY, body, sizeof body, &reply)) return false;
  if (reply.payload.size() != 4 || word_at(reply.payload, 0) != 1) {
    return fail("identification was not accepted");
  }
  return true;
}

bool Connection::check_version(std::uint32_t version) {
  std::uint32_t body = htonl(version);
  Reply reply;
  if (!request(MSG_VERSION, &body, sizeof body, &reply)) return false;
  if (reply.payload.size() != 8) return fail("malformed version reply");
  std::uint32_t server = word_at(reply.payload, 0);
  if (server != version) {
    return fail("the server speaks protocol version " + std::to_string(server));
  }
  return true;
}

bool Connection::server_info(ServerInfo* out) {
  Reply reply;
  if (!request(MSG_SERVER_INFO, nullptr, 0, &reply)) return false;
  return parse_server_info(reply.payload, out) || fail("malformed server information");
}

bool Connection::channel_info(ChannelInfo* out) {
  Reply reply;
  if (!request(MSG_CHANNEL_INFO, nullptr, 0, &reply)) return false;
  return parse_channel_info(reply.payload, out) || fail("malformed channel table");
}

bool Connection::data(DataBlock* out) {
  Reply reply;
  if (!request(MSG_DATA, nullptr, 0, &reply)) return false;
  return parse_data_block(reply.payload, out) || fail("malformed data block");
}

bool Connection::end() {
  m_diagnostic.reset();
  return send_message(MSG_END, nullptr, 0);
}

bool Connection::fail(const std::string& reason) {
  m_error = reason;
  return false;
}

bool Connection::fail_errno(const std::string& what) {
  return fail(what + ": " + std::strerror(errno));
}

}  // namespace client
