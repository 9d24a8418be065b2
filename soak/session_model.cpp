#include "soak/session_model.h"

#include <cstring>

#include "protocol/codec.h"
#include "protocol/wire.h"

namespace soak {

namespace {

std::uint32_t word_at(const std::vector<unsigned char>& bytes, std::size_t at) {
  return read_word(bytes.data() + at);
}

// The version a MSG_VERSION payload carries: its first four bytes, the bytes
// it does not reach read as zeros.
std::uint32_t version_in(const std::vector<unsigned char>& stream, std::size_t at,
                         std::size_t payload) {
  unsigned char field[4] = {};
  std::memcpy(field, stream.data() + at, payload < 4 ? payload : 4);
  return read_word(field);
}

std::size_t reply_length(std::uint32_t type) {
  switch (type) {
    case MSG_DIAGNOSTIC:
      return DIAGNOSTIC_BODY_SIZE;
    case MSG_IDENTIFY:
      return IDENTIFY_REPLY_SIZE;
    case MSG_VERSION:
      return VERSION_REPLY_SIZE;
    case MSG_SERVER_INFO:
      return SERVER_INFO_SIZE;
    case MSG_CHANNEL_INFO:
      return JOYSTICK_CHANNEL_INFO_SIZE;
    case MSG_DATA:
      return JOYSTICK_DATA_SIZE;
    default:
      return 0;
  }
}

Outcome fail(Outcome outcome, const char* cause) {
  outcome.failure = true;
  outcome.cause = cause;
  return outcome;
}

}  // namespace

Outcome predict_session(const std::vector<unsigned char>& stream, bool channels_defined) {
  Outcome outcome;
  outcome.channels_defined = channels_defined;
  std::size_t at = 0;
  for (;;) {
    // A stream that ends before a whole message ends the session like MSG_END.
    if (stream.size() - at < MESSAGE_HEADER_SIZE) return outcome;
    std::uint32_t type = word_at(stream, at);
    auto length = static_cast<std::int32_t>(word_at(stream, at + 4));
    std::size_t payload = length > 0 ? static_cast<std::size_t>(length) : 0;
    if (payload > MAX_PAYLOAD) return fail(outcome, "length above 1 MiB");
    if (stream.size() - at - MESSAGE_HEADER_SIZE < payload) return outcome;
    std::size_t body = at + MESSAGE_HEADER_SIZE;
    at = body + payload;
    switch (type) {
      case MSG_DIAGNOSTIC:
        return fail(outcome, "message of type 0");
      case MSG_VERSION:
        ++outcome.replies;  // the reply, or the mismatch diagnostic
        if (version_in(stream, body, payload) != PROTOCOL_VERSION) {
          return fail(outcome, "version mismatch");
        }
        break;
      case MSG_DATA:
        if (!outcome.channels_defined) return fail(outcome, "data before the channel table");
        ++outcome.replies;
        break;
      case MSG_CHANNEL_INFO:
        outcome.channels_defined = true;
        ++outcome.replies;
        break;
      case MSG_END:
        return outcome;
      default:  // identification, server information, or a diagnostic for the unknown
        ++outcome.replies;
        break;
    }
  }
}

bool whole_replies(const std::vector<unsigned char>& bytes, int* count) {
  *count = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < MESSAGE_HEADER_SIZE) return false;
    std::uint32_t type = word_at(bytes, at);
    std::size_t length = word_at(bytes, at + 4);
    std::size_t expected = reply_length(type);
    if (expected == 0 || length != expected || bytes.size() - at - MESSAGE_HEADER_SIZE < length) {
      return false;
    }
    at += MESSAGE_HEADER_SIZE + length;
    ++*count;
  }
  return true;
}

}  // namespace soak
