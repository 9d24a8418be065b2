#include "server/session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "joystick/joystick_channels.h"
#include "platform/net.h"
#include "server/instance_name.h"
#include "server/process.h"
#include "server_core/channels.h"
#include "server_core/diagnostics.h"
#include "server_core/framing.h"

namespace {

// Set once the joystick channels are defined; never cleared, so later
// sessions answer MSG_CHANNEL_INFO from the same table. Server thread only.
int g_channels_defined = 0;

constexpr int WAIT_MILLISECONDS = 1000;
// The head words of the MSG_CHANNEL_INFO reply, as clients expect them.
constexpr std::uint32_t CHANNEL_INFO_WORD_A = 0x80000;
constexpr std::uint32_t CHANNEL_INFO_WORD_B = 1;

// Copies up to size bytes of the current payload from offset into dst; the
// bytes that the payload does not reach read as zeros.
void copy_payload_field(void* dst, std::size_t offset, std::size_t size) {
  std::memset(dst, 0, size);
  std::size_t length = received_length();
  if (offset >= length) return;
  std::memcpy(dst, receive_buffer() + offset, std::min(size, length - offset));
}

// Copies a zero-terminated text field of the current payload into a 64-byte
// destination, zero-filled after the text.
void copy_identification_text(char* dst, std::size_t offset) {
  char field[IDENTIFY_TEXT_SIZE];
  copy_payload_field(field, offset, sizeof field);
  copy_text_field(dst, IDENTIFY_TEXT_SIZE, field);
}

void look_up_peer_host(int sock, char* host) {
  sockaddr_storage peer{};
  auto length = static_cast<socklen_t>(sizeof(sockaddr_in));
  if (platform::net().peer_address(sock, reinterpret_cast<sockaddr*>(&peer), &length) < 0) {
    host[0] = '\0';
    return;
  }
  int family = length == 0 ? AF_UNIX : peer.ss_family;
  char name[1025] = {};
  int found = -1;
  if (family == AF_UNIX) {
    found = platform::net().local_host_name(name, sizeof name - 1);
  } else if (family == AF_INET) {
    found = platform::net().host_name_of(reinterpret_cast<const sockaddr*>(&peer),
                                         sizeof(sockaddr_in), name, sizeof name);
  }
  // A name of 64 characters or more keeps its first 63 and its terminating zero.
  name[IDENTIFY_TEXT_SIZE - 1] = '\0';
  copy_text_field(host, IDENTIFY_TEXT_SIZE, found == 0 ? name : "");
}

// Waits until a request arrives. Ends the process when waiting fails.
void wait_for_request(int sock) {
  for (;;) {
    int ready = platform::net().wait_readable(sock, WAIT_MILLISECONDS);
    if (ready > 0) return;
    if (ready < 0) {
      post_diagnostic(sock, DIAG_SOCKET_ERROR, instance_name(), "select failed");
      post_diagnostic(sock, DIAG_SOCKET_ERROR, "select", nullptr);
      end_server_process(1);
    }
  }
}

char g_first_text[IDENTIFY_TEXT_SIZE];
char g_second_text[IDENTIFY_TEXT_SIZE];
char g_peer_host[IDENTIFY_TEXT_SIZE];

int answer_identify(int sock) {
  if (read_identification(sock, g_first_text, g_second_text, g_peer_host) < 0) return -1;
  return send_identify_reply(sock, 1);
}

int answer_channel_info(int sock) {
  if (!g_channels_defined) {
    if (define_joystick_channels() < 0) return -1;
    g_channels_defined = 1;
  }
  return send_channel_info(sock, 0.0f, 0.0f, 0.0f, CHANNEL_INFO_WORD_A, CHANNEL_INFO_WORD_B);
}

int answer_data(int sock) {
  sample_joystick();
  int result = send_data_block(sock);
  if (result < 0 && errno == ENOENT && !g_channels_defined) {
    set_failure_context("MSG_DATA before MSG_CHANNEL_INFO, no channel table yet");
  }
  return result;
}

}  // namespace

int serve_client(int sock) {
  restart_joystick_playback();
  for (;;) {
    wait_for_request(sock);
    // A failed receive leaves its reason; a message of type 0 leaves none.
    errno = 0;
    std::uint32_t code = read_message(sock);
    int result;
    switch (code) {
      case MSG_DIAGNOSTIC:  // a failed receive, or a client that sent type 0
        if (errno == 0) {
          set_failure_context("the client sent a message of type 0");
          errno = EPROTO;
        }
        return -1;
      case MSG_IDENTIFY:
        result = answer_identify(sock);
        break;
      case MSG_VERSION:
        result = check_version(sock, instance_name());
        break;
      case MSG_SERVER_INFO:
        result = send_server_info(sock, instance_name(), SERVER_VERSION_TEXT, SERVER_DESCRIPTION);
        break;
      case MSG_CHANNEL_INFO:
        result = answer_channel_info(sock);
        break;
      case MSG_DATA:
        result = answer_data(sock);
        break;
      case MSG_END:  // also a connection the client closed
        return 0;
      default:
        result = post_diagnostic(sock, DIAG_CLIENT_ERROR, instance_name(), "Unknown server command.");
        break;
    }
    if (result < 0) return -1;
  }
}

int read_identification(int sock, char* first, char* second, char* host) {
  if (last_message_type() != MSG_IDENTIFY) return -1;
  if (first) copy_identification_text(first, 0);
  if (second) copy_identification_text(second, IDENTIFY_TEXT_SIZE);
  if (host) look_up_peer_host(sock, host);
  return 0;
}

int check_version(int sock, const char* prefix) {
  std::uint32_t net_version;
  copy_payload_field(&net_version, 0, sizeof net_version);
  std::uint32_t client = ntohl(net_version);
  if (client != PROTOCOL_VERSION) {
    post_diagnostic(sock, DIAG_CLIENT_ERROR, prefix,
                    "Protocol mismatch: client = %d, server = %d\n", static_cast<int>(client),
                    static_cast<int>(PROTOCOL_VERSION));
    set_failure_context("protocol mismatch: client = %d, server = %d", static_cast<int>(client),
                        static_cast<int>(PROTOCOL_VERSION));
    errno = EPROTO;
    return -1;
  }
  const std::uint32_t reply[2] = {htonl(PROTOCOL_VERSION), 0};
  int sent = send_message(sock, MSG_VERSION, reply, sizeof reply);
  return sent < 0 ? sent : 0;
}

int send_identify_reply(int sock, std::uint32_t value) {
  std::uint32_t body = htonl(value);
  return send_message(sock, MSG_IDENTIFY, &body, sizeof body);
}

int send_server_info(int sock, const char* name, const char* version, const char* description) {
  char body[SERVER_INFO_SIZE] = {};
  if (name) copy_text_field(body + SERVER_INFO_NAME_OFFSET, SERVER_INFO_NAME_SIZE, name);
  if (version)
    copy_text_field(body + SERVER_INFO_VERSION_OFFSET, SERVER_INFO_VERSION_SIZE, version);
  if (description) {
    copy_text_field(body + SERVER_INFO_DESCRIPTION_OFFSET, SERVER_INFO_DESCRIPTION_SIZE,
                    description);
  }
  return send_message(sock, MSG_SERVER_INFO, body, sizeof body);
}
