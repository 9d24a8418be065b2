#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/wire.h"

// An independent reading of what a capture session does with the bytes a
// client sends before closing its side: whether the session ends in failure
// (and so leaves one line on the server's standard error), and how many
// replies the client gets. The soak test uses it to know which of its garbage
// peers must fail; a unit test holds it against the real session.
namespace soak {

// The replies of this program's server that depend on its four joystick
// channels: the channel table (record 0 and four channels) and the data block
// (four channels of one value each).
inline constexpr std::size_t JOYSTICK_CHANNEL_INFO_SIZE =
    CHANNEL_INFO_HEAD_SIZE + 5 * CHANNEL_RECORD_SIZE;
inline constexpr std::size_t JOYSTICK_DATA_SIZE = 4 * (DATA_CHANNEL_HEAD_SIZE + 4);

struct Outcome {
  bool failure = false;           // the session ends with -1
  const char* cause = "";         // why it fails, in a few words
  int replies = 0;                // messages the server sends back, diagnostics included
  bool channels_defined = false;  // whether the channel table exists afterwards
};

// channels_defined: whether a channel-information request has been answered
// before in the life of the server, which data requests need.
Outcome predict_session(const std::vector<unsigned char>& stream, bool channels_defined);

// True when bytes are whole replies of the types and sizes the server sends,
// one after the other; *count gets how many.
bool whole_replies(const std::vector<unsigned char>& bytes, int* count);

}  // namespace soak
