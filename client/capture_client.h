#pragma once

// The Orvandelcaster capture-client library: its one public header, installed
// as <orvandelcaster/client.h> with liborvandelcaster-client.a (CMake:
// find_package(OrvandelcasterClient) and Orvandelcaster::client; pkg-config:
// orvandelcaster-client). It needs only the C++ standard library (C++17 or
// later) and links with -pthread (and -lrt on Linux).
//
// A capture client for Orvandelcaster and any server of its protocol on this
// machine: find a server by name in the shared-memory registry, connect, send
// requests and decode the replies. Nothing throws; operations that can fail
// return false and leave a readable reason in error().
//
//   client::Connection connection;
//   client::DataBlock block;
//   if (connection.connect_to_server("Orvandelcaster") && connection.identify("me", "") &&
//       connection.check_version() && connection.data(&block)) {
//     // block.channels[i].values: the four axes, one float each
//   }
//   connection.end();
//
// A Connection or Registry is used by one thread at a time.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace client {

inline constexpr int DEFAULT_REPLY_TIMEOUT_MS = 5000;
// The protocol version this library speaks, sent by check_version().
inline constexpr std::uint32_t SPOKEN_PROTOCOL_VERSION = 300;

// Told the registry's name when a wait for another holder of the registry
// passes five seconds.
using RegistryWaitNotice = void (*)(const char* object_name);

// What listens on a slot's port, from the system's table of sockets: the port
// is never connected to, since a connection would cost a live server its session.
enum class SlotState {
  SERVING,     // a socket of ours listens there: a live server waiting for a client
  DEAD,        // nothing listens there: left by a server that ended
  OTHER_USER,  // another user's socket listens there
  LISTENING,   // a socket listens there, and the system does not say whose (Wine)
  UNKNOWN,     // the system does not say
};

struct RegistryEntry {
  int slot;
  std::string name;
  std::uint16_t port;  // host byte order
  SlotState state = SlotState::UNKNOWN;
  // Who listens on port when that is another user ("user nobody (uid 65534)"),
  // else empty.
  std::string other_user = {};
};

// The registry, held open like every holder holds it (so publications in it
// stay alive while this object lives). It is read with pread on the one
// descriptor, never mapped, so nothing another process does to the object's
// size can raise a signal here. Reads take no write lock.
class Registry {
 public:
  // Opens object_name, or the process's registry when it is null (see
  // registry_object_name: ORVANDELCASTER_REGISTRY, else the user's own), read
  // only: it is never created or written. A missing one holds no publication.
  // An object that another user owns, with more than one name or that is no
  // regular file is refused. A wait for another holder that passes five
  // seconds is told to notice (none when null).
  bool open(const char* object_name = nullptr, RegistryWaitNotice notice = nullptr);
  bool is_open() const;
  // The slots in use, lowest first, each with what listens on its port.
  std::vector<RegistryEntry> entries() const;
  // The port published under name; nullopt when no slot in use holds it.
  std::optional<std::uint16_t> find(const std::string& name) const;
  // Whether a server of this program holds the instance lock of name, that is
  // runs, whether it waits for a client or serves one.
  bool running(const std::string& name) const;
  const std::string& error() const { return m_error; }

  Registry();
  ~Registry();
  Registry(Registry&&) noexcept;
  Registry& operator=(Registry&&) noexcept;

 private:
  // The descriptor, as the system's shared-memory calls hold it.
  struct Descriptor;
  Descriptor& descriptor() const;

  mutable std::unique_ptr<Descriptor> m_descriptor;
  // Opened, and found to hold no publication: missing, or held by nobody.
  bool m_empty = false;
  mutable std::string m_error;
};

struct Reply {
  std::uint32_t type = 0;
  std::vector<unsigned char> payload;
};

struct Diagnostic {
  std::uint32_t level = 0;
  std::string text;  // as sent; the version mismatch ends in a line feed
};

struct ServerInfo {
  std::string name;
  std::string version;
  std::string description;
};

// One 84-byte record of the channel table, decoded. Words 0 to 3 and 12 to 14
// travel big-endian; the others travel as the server holds them and are kept
// raw here (host_words[0] is word 15, host_words[1] word 16, ...).
struct ChannelRecordInfo {
  std::int32_t index;
  std::int32_t parent;
  std::int32_t first_child;
  std::int32_t next_sibling;
  std::string name;     // up to the first zero, at most 32 bytes
  std::int32_t word12;  // channel: usage code; record 0: record count
  std::int32_t word13;  // channel: 0; record 0: capacity
  std::int32_t word14;  // channel: value count; record 0: DataBlock length in words
  std::uint32_t host_words[6];
};

struct ChannelInfo {
  std::int32_t whole[3];
  std::int32_t millionths[3];
  std::uint32_t head_word_a;
  std::uint32_t head_word_b;
  std::int32_t record_count;
  std::vector<ChannelRecordInfo> records;  // record 0 (the table header) first
};

struct ChannelValues {
  std::int32_t index;
  std::vector<float> values;
};

struct DataBlock {
  std::vector<ChannelValues> channels;
};

// Decoders for reply bodies; false when the body is malformed.
bool parse_diagnostic(const std::vector<unsigned char>& body, Diagnostic* out);
bool parse_server_info(const std::vector<unsigned char>& body, ServerInfo* out);
bool parse_channel_info(const std::vector<unsigned char>& body, ChannelInfo* out);
bool parse_data_block(const std::vector<unsigned char>& body, DataBlock* out);

// Finds name in the registry (object_name, or the process's when null): its
// port in host order, or nullopt with the reason in *error: "no server named
// "<name>" in the registry", then whether one is running (busy with a client)
// or not. A long wait for the registry is told to notice (none when null).
std::optional<std::uint16_t> find_server(const std::string& name, std::string* error,
                                         const char* object_name = nullptr,
                                         RegistryWaitNotice notice = nullptr);

class Connection {
 public:
  // Connects to the server listening on port at 127.0.0.1. With a timeout of 0
  // or more, gives up after that many milliseconds: a listener whose queue is
  // full (a stopped server, a stale registration on a reused port) never
  // answers, and the system would retry for minutes.
  bool connect(std::uint16_t port, int timeout_ms = -1);
  // The same to host (a dotted IPv4 address or a name) at port, for a server
  // reached by its address instead of through the registry.
  bool connect_to(const std::string& host, std::uint16_t port, int timeout_ms = -1);
  // Finds name in the registry (object_name, or the process's when null) and
  // connects to it. A slot whose port refuses the connection is left over from
  // a server that ended: reported as not running, not as a refused connection.
  bool connect_to_server(const std::string& name, const char* object_name = nullptr,
                         int timeout_ms = -1);
  // The port of the last connect; 0 before.
  std::uint16_t port() const { return m_port; }
  bool connected() const;
  // The socket, for waiting on it with the system's calls; -1 when not connected.
  int fd() const;
  void close();

  void set_reply_timeout(int milliseconds) { m_timeout_ms = milliseconds; }
  // Told when connect_to_server waits for the registry longer than five
  // seconds (nobody is told when null).
  void set_registry_wait_notice(RegistryWaitNotice notice) { m_registry_notice = notice; }

  // One framed message; the payload as given.
  bool send_message(std::uint32_t type, const void* payload, std::uint32_t length);
  // The next whole message from the server. False on time-out, on a closed
  // connection ("the server closed the connection") or a failed receive.
  bool read_reply(Reply* reply);

  // Requests. Each sends one message and reads the reply; when the server
  // answers with MSG_DIAGNOSTIC instead, the request fails, diagnostic()
  // holds it and error() quotes its text.
  bool identify(const std::string& first, const std::string& second);
  bool check_version(std::uint32_t version = SPOKEN_PROTOCOL_VERSION);
  bool server_info(ServerInfo* out);
  bool channel_info(ChannelInfo* out);
  bool data(DataBlock* out);
  // MSG_END: the server ends the session without a reply.
  bool end();

  const std::string& error() const { return m_error; }
  const std::optional<Diagnostic>& diagnostic() const { return m_diagnostic; }

  Connection();
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

 private:
  // The socket, as the system's socket calls hold it.
  struct Socket;
  Socket& socket() const;

  bool request(std::uint32_t type, const void* payload, std::uint32_t length, Reply* reply);
  bool fail(const std::string& reason);
  bool fail_errno(const std::string& what);

  mutable std::unique_ptr<Socket> m_socket;
  std::uint16_t m_port = 0;
  int m_timeout_ms = DEFAULT_REPLY_TIMEOUT_MS;
  RegistryWaitNotice m_registry_notice = nullptr;
  std::string m_error;
  std::optional<Diagnostic> m_diagnostic;
};

}  // namespace client
