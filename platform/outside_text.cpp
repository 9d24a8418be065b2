#include "platform/outside_text.h"

namespace platform {
namespace {

constexpr char ELLIPSIS[] = "\xe2\x80\xa6";  // U+2026
constexpr std::size_t ESCAPE_WIDTH = 4;      // \xNN

// One shown unit of a text: a code point kept as it is, or bytes shown escaped.
struct Piece {
  std::size_t bytes;
  bool escaped;
  std::size_t width() const { return escaped ? ESCAPE_WIDTH * bytes : 1; }
};

bool in_range(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence that starts at text[pos] (no
// overlong forms, no surrogates, nothing past U+10FFFF), or 0 when none does.
std::size_t utf8_sequence_length(std::string_view text, std::size_t pos) {
  auto byte = [&](std::size_t i) -> unsigned char {
    return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0;
  };
  auto continues = [&](std::size_t i) { return in_range(byte(i), 0x80, 0xbf); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (in_range(lead, 0xc2, 0xdf)) return continues(1) ? 2 : 0;
  // The second byte's range is narrower after these leads: it is what rules
  // out overlong forms, surrogates and code points past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead == 0xe0) low = 0xa0;
  if (lead == 0xed) high = 0x9f;
  if (lead == 0xf0) low = 0x90;
  if (lead == 0xf4) high = 0x8f;
  if (in_range(lead, 0xe0, 0xef)) return in_range(byte(1), low, high) && continues(2) ? 3 : 0;
  if (in_range(lead, 0xf0, 0xf4)) {
    return in_range(byte(1), low, high) && continues(2) && continues(3) ? 4 : 0;
  }
  return 0;
}

Piece piece_at(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const std::size_t length = utf8_sequence_length(text, pos);
  if (length == 0) return {1, true};
  if (length == 1) return {1, lead < 0x20 || lead == 0x7f};
  // U+0080 to U+009F: the C1 controls.
  if (lead == 0xc2 && static_cast<unsigned char>(text[pos + 1]) <= 0x9f) return {2, true};
  return {length, false};
}

void append_piece(std::string* out, std::string_view text, std::size_t pos, Piece piece) {
  if (!piece.escaped) {
    out->append(text.substr(pos, piece.bytes));
    return;
  }
  static const char HEX[] = "0123456789abcdef";
  for (std::size_t i = 0; i < piece.bytes; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    const char escape[] = {'\\', 'x', HEX[byte >> 4], HEX[byte & 0xf]};
    out->append(escape, sizeof escape);
  }
}

// Appends the pieces of text[begin, end).
void append_pieces(std::string* out, std::string_view text, std::size_t begin, std::size_t end) {
  for (std::size_t pos = begin; pos < end;) {
    const Piece piece = piece_at(text, pos);
    append_piece(out, text, pos, piece);
    pos += piece.bytes;
  }
}

}  // namespace

std::string printable_outside_text(std::string_view text, std::size_t max_characters) {
  std::size_t total = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Piece piece = piece_at(text, pos);
    total += piece.width();
    pos += piece.bytes;
  }
  std::string shown;
  if (total <= max_characters) {
    append_pieces(&shown, text, 0, text.size());
    return shown;
  }
  // The ellipsis takes one character; the beginning gets the larger half of
  // the rest, the end the other.
  const std::size_t budget = max_characters - 1;
  const std::size_t tail_budget = budget / 2;
  const std::size_t head_budget = budget - tail_budget;
  std::size_t head_end = 0;
  std::size_t tail_begin = text.size();
  std::size_t before = 0;  // the width of the pieces before pos
  for (std::size_t pos = 0; pos < text.size();) {
    const Piece piece = piece_at(text, pos);
    if (before + piece.width() <= head_budget) head_end = pos + piece.bytes;
    if (total - before <= tail_budget) {
      tail_begin = pos;
      break;
    }
    before += piece.width();
    pos += piece.bytes;
  }
  append_pieces(&shown, text, 0, head_end);
  shown += ELLIPSIS;
  append_pieces(&shown, text, tail_begin, text.size());
  return shown;
}

}  // namespace platform
