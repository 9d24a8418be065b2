#include "server_core/channels.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/net.h"
#include "server_core/framing.h"

namespace {

// The table and the DataBlock live until the process ends and are never
// freed; only the server thread touches them.
ChannelRecord* g_table = nullptr;
std::uint32_t* g_block = nullptr;  // wire form: every word big-endian

ChannelRecord& header() { return g_table[0]; }

bool create_table() {
  void* memory = std::calloc(CHANNEL_TABLE_STEP, sizeof(ChannelRecord));
  if (!memory) return false;
  g_table = static_cast<ChannelRecord*>(memory);
  ChannelRecord& head = header();
  head.index = 0;
  head.parent = head.first_child = head.next_sibling = -1;
  head.record_count = 1;
  head.capacity = CHANNEL_TABLE_STEP;
  head.block_words = 0;
  return true;
}

bool grow_table() {
  auto old_count = static_cast<std::size_t>(header().capacity);
  std::size_t new_count = old_count + CHANNEL_TABLE_STEP;
  void* memory = std::realloc(g_table, new_count * sizeof(ChannelRecord));
  if (!memory) return false;
  g_table = static_cast<ChannelRecord*>(memory);
  std::memset(g_table + old_count, 0, CHANNEL_TABLE_STEP * sizeof(ChannelRecord));
  header().capacity = static_cast<std::int32_t>(new_count);
  return true;
}

void append_child(std::int32_t child) {
  if (header().first_child == -1) {
    header().first_child = child;
    return;
  }
  ChannelRecord* last = &g_table[header().first_child];
  while (last->next_sibling != -1) last = &g_table[last->next_sibling];
  last->next_sibling = child;
}

bool build_block() {
  std::size_t size = 0;
  for (int i = 1; i < header().record_count; ++i) {
    if (g_table[i].dims > 0) size += 8 + 4 * static_cast<std::size_t>(g_table[i].dims);
  }
  // At least one byte, so that a table without values still has a block.
  auto* block = static_cast<std::uint32_t*>(std::calloc(size ? size : 1, 1));
  if (!block) return false;
  g_block = block;
  header().block = 1;
  header().block_words = static_cast<std::int32_t>(size / 4);
  std::uint32_t* position = block;
  for (int i = 1; i < header().record_count; ++i) {
    ChannelRecord& channel = g_table[i];
    if (channel.dims <= 0) {
      channel.data = 0;
      continue;
    }
    position[0] = htonl(static_cast<std::uint32_t>(channel.index));
    position[1] = htonl(static_cast<std::uint32_t>(channel.dims));
    position += 2;
    channel.data = static_cast<std::int32_t>((position - block) * 4);
    position += channel.dims;
  }
  return true;
}

// Normalises q0..q3 to a unit quaternion; a degenerate one becomes (1, 0, 0, 0).
void normalise_quaternion(float* q) {
  double n = std::sqrt(static_cast<double>(q[0]) * q[0] + static_cast<double>(q[1]) * q[1] +
                       static_cast<double>(q[2]) * q[2] + static_cast<double>(q[3]) * q[3]);
  if (n >= 1e-8) {
    for (int i = 0; i < 4; ++i) q[i] = static_cast<float>(q[i] / n);
  } else {
    q[0] = 1.0f;
    q[1] = q[2] = q[3] = 0.0f;
  }
}

// Truncates toward zero into 32 bits, saturating instead of overflowing.
std::int32_t truncate_to_int32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(value);
}

}  // namespace

ChannelRecord* define_channel(const char* name, std::int32_t usage, std::int32_t dims) {
  if (!g_table && !create_table()) {
    errno = ENOMEM;
    return nullptr;
  }
  if (g_block) {
    errno = EBUSY;
    return nullptr;
  }
  if (header().record_count >= header().capacity && !grow_table()) {
    errno = ENOMEM;
    return nullptr;
  }
  std::int32_t i = header().record_count;
  ChannelRecord& channel = g_table[i];
  std::memset(&channel, 0, sizeof channel);
  channel.index = i;
  channel.parent = 0;
  channel.first_child = -1;
  channel.next_sibling = -1;
  channel.usage = usage;
  channel.dims = dims;
  copy_text_field(channel.name, sizeof channel.name, name);
  append_child(i);
  header().record_count = i + 1;
  return &channel;
}

int store_channel_data(ChannelRecord* channel, const float* values) {
  if (!channel || !values) return 0;
  if (!g_block && !build_block()) {
    errno = ENOMEM;
    return -1;
  }
  if (channel->data == 0) {
    errno = EISDIR;
    return -1;
  }
  std::uint32_t* words = g_block + channel->data / 4;
  auto count = static_cast<std::size_t>(channel->dims);
  std::size_t quaternion_start = count >= 4 ? count - 4 : count;
  float quaternion[4];
  if (count >= 4) {
    std::memcpy(quaternion, values + quaternion_start, sizeof quaternion);
    normalise_quaternion(quaternion);
  }
  for (std::size_t k = 0; k < count; ++k) {
    float value = k < quaternion_start ? values[k] : quaternion[k - quaternion_start];
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    words[k] = htonl(bits);
  }
  return 0;
}

int send_channel_info(int sock, float real1, float real2, float real3, std::uint32_t head_word_a,
                      std::uint32_t head_word_b) {
  if (!g_table) {
    errno = ENOENT;
    return -1;
  }
  auto count = static_cast<std::size_t>(header().record_count);
  std::size_t size = CHANNEL_INFO_HEAD_SIZE + count * sizeof(ChannelRecord);
  auto* body = static_cast<unsigned char*>(std::malloc(size));
  if (!body) {
    errno = ENOMEM;
    return -1;
  }
  unsigned char* records = body + CHANNEL_INFO_HEAD_SIZE;
  std::memcpy(records, g_table, count * sizeof(ChannelRecord));
  for (std::size_t r = 0; r < count; ++r) {
    auto* words = reinterpret_cast<std::uint32_t*>(records + r * sizeof(ChannelRecord));
    for (int w : CHANNEL_RECORD_NET_WORDS) words[w] = htonl(words[w]);
  }
  unsigned char* head = body;
  for (float real : {real1, real2, real3}) {
    std::int32_t whole = truncate_to_int32(real);
    std::int32_t millionths = truncate_to_int32((static_cast<double>(real) - whole) * 1000000.0);
    write_word(head, static_cast<std::uint32_t>(whole));
    write_word(head + 4, static_cast<std::uint32_t>(millionths));
    head += 8;
  }
  write_word(body + CHANNEL_INFO_WORD_A_OFFSET, head_word_a);
  write_word(body + CHANNEL_INFO_WORD_B_OFFSET, head_word_b);
  write_word(body + CHANNEL_INFO_COUNT_OFFSET, static_cast<std::uint32_t>(header().record_count));
  int result = send_message(sock, MSG_CHANNEL_INFO, body, static_cast<int>(size));
  std::free(body);
  return result;
}

int send_data_block(int sock) {
  if (!g_table) {
    errno = ENOENT;
    return -1;
  }
  if (!g_block) {
    errno = EINVAL;
    return -1;
  }
  return send_message(sock, MSG_DATA, g_block, header().block_words * 4);
}
