#include "client/capture_client.h"

#include <cerrno>
#include <cstring>
#include <type_traits>

#include "platform/error_text.h"
#include "platform/net.h"
#include "platform/shared_memory.h"
#include "platform/socket_owner.h"
#include "protocol/codec.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"
#include "protocol/stream_io.h"
#include "protocol/wire.h"

namespace client {
namespace {

// Replies are small; anything longer than this is not a reply of this protocol.
constexpr std::uint32_t MAX_REPLY_PAYLOAD = 16u << 20;

std::uint32_t word_at(const std::vector<unsigned char>& body, std::size_t offset) {
  return read_word(body.data() + offset);
}

std::int32_t int_at(const std::vector<unsigned char>& body, std::size_t offset) {
  return static_cast<std::int32_t>(read_word(body.data() + offset));
}

const char* message_name(std::uint32_t type) {
  switch (type) {
    case MSG_DIAGNOSTIC:
      return "MSG_DIAGNOSTIC";
    case MSG_IDENTIFY:
      return "MSG_IDENTIFY";
    case MSG_VERSION:
      return "MSG_VERSION";
    case MSG_SERVER_INFO:
      return "MSG_SERVER_INFO";
    case MSG_CHANNEL_INFO:
      return "MSG_CHANNEL_INFO";
    case MSG_DATA:
      return "MSG_DATA";
    case MSG_END:
      return "MSG_END";
    default:
      return "an unknown message";
  }
}

SlotState slot_state(const platform::SocketOwner& listener) {
  switch (listener.kind) {
    case platform::OwnerKind::US:
      return SlotState::SERVING;
    case platform::OwnerKind::OTHER_USER:
      return SlotState::OTHER_USER;
    case platform::OwnerKind::UNKNOWN:
      break;
  }
  if (!listener.answered) return SlotState::UNKNOWN;
  return listener.found ? SlotState::LISTENING : SlotState::DEAD;
}

}  // namespace

static_assert(SPOKEN_PROTOCOL_VERSION == PROTOCOL_VERSION);
static_assert(std::is_same_v<RegistryWaitNotice, platform::LockWaitNotice>);

// Held out of the public header, which names nothing of the platform layer;
// made again on use after a move, so a moved-from object is an empty one.
struct Registry::Descriptor {
  platform::UniqueSharedObject fd;
};

Registry::Registry() : m_descriptor(std::make_unique<Descriptor>()) {}
Registry::~Registry() = default;
Registry::Registry(Registry&&) noexcept = default;
Registry& Registry::operator=(Registry&&) noexcept = default;

Registry::Descriptor& Registry::descriptor() const {
  if (!m_descriptor) m_descriptor = std::make_unique<Descriptor>();
  return *m_descriptor;
}

bool Registry::is_open() const { return descriptor().fd.valid() || m_empty; }

bool Registry::open(const char* object_name, RegistryWaitNotice notice) {
  const std::string default_name = registry_object_name_from_environment();
  const char* name = object_name ? object_name : default_name.c_str();
  bool existed = false;
  descriptor().fd.reset(open_registry_object_for_reading(name, &existed, &m_error, notice));
  // Missing, or held by no one: no server publishes in it, whatever its bytes say.
  m_empty = (!descriptor().fd.valid() && errno == ENOENT) || (descriptor().fd.valid() && !existed);
  if (m_empty) m_error.clear();
  return descriptor().fd.valid() || m_empty;
}

std::vector<RegistryEntry> Registry::entries() const {
  std::vector<RegistryEntry> found;
  if (m_empty) return found;
  if (!descriptor().fd.valid()) {
    m_error = "the registry is not open";
    return found;
  }
  SocketRegistry registry;
  if (!read_registry(descriptor().fd.get(), &registry)) {
    m_error = std::string("cannot read the registry: ") + std::strerror(errno);
    return found;
  }
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    if (!slot_in_use(registry, i)) continue;
    const RegistrySlot& slot = registry.slots[i];
    RegistryEntry entry{i, std::string(slot.name, ::strnlen(slot.name, REGISTRY_NAME_SIZE)),
                        ntohs(slot.port)};
    platform::SocketOwner owner = platform::socket_owners().listener_owner(slot.port);
    entry.state = slot_state(owner);
    if (entry.state == SlotState::OTHER_USER) entry.other_user = platform::describe_owner(owner);
    found.push_back(std::move(entry));
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
  return descriptor().fd.valid() &&
         platform::byte_locked_elsewhere(descriptor().fd.get(), instance_lock_offset(name.c_str())) == 1;
}

std::optional<std::uint16_t> find_server(const std::string& name, std::string* error,
                                         const char* object_name, RegistryWaitNotice notice) {
  Registry registry;
  if (!registry.open(object_name, notice)) {
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
  out->text = read_text_field(body.data() + DIAGNOSTIC_LINE_OFFSET, DIAGNOSTIC_LINE_SIZE);
  return true;
}

bool parse_server_info(const std::vector<unsigned char>& body, ServerInfo* out) {
  if (body.size() != static_cast<std::size_t>(SERVER_INFO_SIZE)) return false;
  out->name = read_text_field(body.data() + SERVER_INFO_NAME_OFFSET, SERVER_INFO_NAME_SIZE);
  out->version =
      read_text_field(body.data() + SERVER_INFO_VERSION_OFFSET, SERVER_INFO_VERSION_SIZE);
  out->description =
      read_text_field(body.data() + SERVER_INFO_DESCRIPTION_OFFSET, SERVER_INFO_DESCRIPTION_SIZE);
  return true;
}

bool parse_channel_info(const std::vector<unsigned char>& body, ChannelInfo* out) {
  constexpr std::size_t HEAD = CHANNEL_INFO_HEAD_SIZE, RECORD = CHANNEL_RECORD_SIZE;
  if (body.size() < HEAD) return false;
  for (std::size_t i = 0; i < CHANNEL_INFO_REALS; ++i) {
    out->whole[i] = int_at(body, 8 * i);
    out->millionths[i] = int_at(body, 8 * i + 4);
  }
  out->head_word_a = word_at(body, CHANNEL_INFO_WORD_A_OFFSET);
  out->head_word_b = word_at(body, CHANNEL_INFO_WORD_B_OFFSET);
  out->record_count = int_at(body, CHANNEL_INFO_COUNT_OFFSET);
  if (out->record_count < 0 ||
      body.size() != HEAD + RECORD * static_cast<std::size_t>(out->record_count)) {
    return false;
  }
  out->records.clear();
  for (std::size_t r = 0; r < static_cast<std::size_t>(out->record_count); ++r) {
    std::size_t at = HEAD + RECORD * r;
    ChannelRecordInfo record{};
    record.index = int_at(body, at + offsetof(ChannelRecord, index));
    record.parent = int_at(body, at + offsetof(ChannelRecord, parent));
    record.first_child = int_at(body, at + offsetof(ChannelRecord, first_child));
    record.next_sibling = int_at(body, at + offsetof(ChannelRecord, next_sibling));
    record.name =
        read_text_field(body.data() + at + offsetof(ChannelRecord, name), CHANNEL_NAME_SIZE);
    record.word12 = int_at(body, at + offsetof(ChannelRecord, usage));
    record.word13 = int_at(body, at + offsetof(ChannelRecord, reserved13));
    record.word14 = int_at(body, at + offsetof(ChannelRecord, dims));
    for (std::size_t w = 0; w < CHANNEL_RECORD_HOST_WORDS; ++w) {
      record.host_words[w] =
          read_host_word(body.data() + at + CHANNEL_RECORD_HOST_WORDS_OFFSET + 4 * w);
    }
    out->records.push_back(record);
  }
  return true;
}

bool parse_data_block(const std::vector<unsigned char>& body, DataBlock* out) {
  if (body.size() % 4 != 0) return false;
  out->channels.clear();
  std::size_t at = 0;
  while (at < body.size()) {
    if (body.size() - at < DATA_CHANNEL_HEAD_SIZE) return false;
    ChannelValues channel;
    channel.index = static_cast<std::int32_t>(word_at(body, at));
    auto dims = static_cast<std::int32_t>(word_at(body, at + 4));
    at += DATA_CHANNEL_HEAD_SIZE;
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

struct Connection::Socket {
  platform::UniqueSocket fd;
};

Connection::Connection() : m_socket(std::make_unique<Socket>()) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

Connection::Socket& Connection::socket() const {
  if (!m_socket) m_socket = std::make_unique<Socket>();
  return *m_socket;
}

bool Connection::connected() const { return socket().fd.valid(); }
int Connection::fd() const { return socket().fd.get(); }
void Connection::close() { socket().fd.reset(); }

bool Connection::connect_to_server(const std::string& name, const char* object_name,
                                   int timeout_ms) {
  std::string reason;
  std::optional<std::uint16_t> port = find_server(name, &reason, object_name, m_registry_notice);
  if (!port) return fail(reason);
  if (connect(*port, timeout_ms)) return true;
  if (errno == ECONNREFUSED) {
    return fail("\"" + name + "\" is not running (a server that ended left its name in the " +
                "registry, with port " + std::to_string(*port) + ")");
  }
  return fail("\"" + name + "\": " + m_error);
}

bool Connection::connect(std::uint16_t port, int timeout_ms) {
  return connect_to("127.0.0.1", port, timeout_ms);
}

bool Connection::connect_to(const std::string& host, std::uint16_t port, int timeout_ms) {
  m_diagnostic.reset();
  m_port = port;
  std::string where = "cannot connect to " + host + ":" + std::to_string(port);
  std::uint32_t net_address = 0;
  if (platform::resolve_ipv4(host.c_str(), &net_address) < 0) {
    socket().fd.reset();
    return fail(where + ": no IPv4 address for " + host);
  }
  socket().fd.reset(platform::connect_address(net_address, port, timeout_ms));
  if (socket().fd.valid() && platform::leads_to_this_machine(socket().fd.get(), net_address)) {
    // Nothing is sent to another user's server on this machine.
    platform::SocketOwner owner =
        platform::server_socket_owner(socket().fd.get(), timeout_ms >= 0 ? timeout_ms : 1000);
    if (owner.kind == platform::OwnerKind::OTHER_USER) {
      socket().fd.reset();
      return fail(where + ": the server there belongs to " + platform::describe_owner(owner) +
                  ", not to you; nothing was sent to it");
    }
  }
  if (socket().fd.valid()) return true;
  if (errno == ETIMEDOUT && timeout_ms >= 0) {
    return fail(where + ": no answer within " + std::to_string(timeout_ms) + " ms");
  }
  return fail_errno(where);
}

bool Connection::send_message(std::uint32_t type, const void* payload, std::uint32_t length) {
  if (!socket().fd.valid()) return fail("not connected");
  // Header and payload go out in one send, so a request leaves as one segment.
  std::vector<unsigned char> message(MESSAGE_HEADER_SIZE + std::size_t{length});
  write_word(message.data(), type);
  write_word(message.data() + 4, length);
  if (length) std::memcpy(message.data() + MESSAGE_HEADER_SIZE, payload, length);
  auto size = static_cast<int>(message.size());
  if (send_all(socket().fd.get(), message.data(), size) != size) {
    return fail_errno(std::string("cannot send ") + message_name(type));
  }
  return true;
}

bool Connection::read_reply(Reply* reply) {
  if (!socket().fd.valid()) return fail("not connected");
  auto read_exact = [&](unsigned char* dst, std::size_t count) {
    int got = recv_all_within(socket().fd.get(), dst, static_cast<int>(count), m_timeout_ms);
    if (got < 0 && errno == ETIMEDOUT) {
      return fail("no reply within " + std::to_string(m_timeout_ms) + " ms");
    }
    if (got < 0) return fail_errno("cannot receive the reply");
    if (static_cast<std::size_t>(got) < count) return fail("the server closed the connection");
    return true;
  };
  unsigned char header[MESSAGE_HEADER_SIZE];
  if (!read_exact(header, sizeof header)) return false;
  reply->type = read_word(header);
  std::uint32_t length = read_word(header + 4);
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
  char body[IDENTIFY_BODY_SIZE];
  copy_text_field(body, IDENTIFY_TEXT_SIZE, first.c_str());
  copy_text_field(body + IDENTIFY_TEXT_SIZE, IDENTIFY_TEXT_SIZE, second.c_str());
  Reply reply;
  if (!request(MSG_IDENTIFY, body, sizeof body, &reply)) return false;
  if (reply.payload.size() != IDENTIFY_REPLY_SIZE || word_at(reply.payload, 0) != 1) {
    return fail("identification was not accepted");
  }
  return true;
}

bool Connection::check_version(std::uint32_t version) {
  std::uint32_t body = htonl(version);
  Reply reply;
  if (!request(MSG_VERSION, &body, sizeof body, &reply)) return false;
  if (reply.payload.size() != VERSION_REPLY_SIZE) return fail("malformed version reply");
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
  return fail(what + ": " + platform::error_text_or_number(errno));
}

}  // namespace client
