#include "platform/outside_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::printable_outside_text;

struct Case {
  const char* what;
  std::string text;
  std::string shown;
};

TEST(OutsideText, EscapesControlsAndInvalidBytesAndKeepsTheRest) {
  const Case cases[] = {
      {"plain ASCII", "/Capture_Unix_Socket_Share.1000", "/Capture_Unix_Socket_Share.1000"},
      {"empty", "", ""},
      {"a forged second line", "/evil\nOrvandelcaster: fake line",
       "/evil\\x0aOrvandelcaster: fake line"},
      {"carriage return, tab, NUL", std::string("a\r\tb\0c", 6), "a\\x0d\\x09b\\x00c"},
      {"escape sequence and DEL", "\x1b[2J\x7f", "\\x1b[2J\\x7f"},
      {"a backslash stays", "C:\\Users", "C:\\Users"},
      {"two-, three- and four-byte characters stay", "J\xc3\xb6rg \xe2\x82\xac \xf0\x9f\x8e\xae",
       "J\xc3\xb6rg \xe2\x82\xac \xf0\x9f\x8e\xae"},
      {"C1 controls, first and last", "a\xc2\x80z\xc2\x9f", "a\\xc2\\x80z\\xc2\\x9f"},
      {"just past C1 stays", "\xc2\xa0", "\xc2\xa0"},
      {"Latin-1 byte", "caf\xe9", "caf\\xe9"},
      {"lone continuation byte", "\x80x", "\\x80x"},
      {"cut sequence, then ASCII", "\xe2\x82" "A", "\\xe2\\x82A"},
      {"cut sequence at the end", "x\xf0\x9f\x8e", "x\\xf0\\x9f\\x8e"},
      {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
      {"overlong three bytes", "\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
      {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"bytes never in UTF-8", "\xfe\xff", "\\xfe\\xff"},
  };
  for (const Case& c : cases) EXPECT_EQ(printable_outside_text(c.text), c.shown) << c.what;
}

// The shown text counted as a reader sees it: code points, an escape being four.
std::size_t shown_characters(const std::string& shown) {
  std::size_t count = 0;
  for (char byte : shown) count += (static_cast<unsigned char>(byte) & 0xc0) != 0x80;
  return count;
}

TEST(OutsideText, LongTextsLoseTheirMiddle) {
  const std::string ellipsis = "\xe2\x80\xa6";
  struct LongCase {
    const char* what;
    std::string text;
    std::string shown;
  };
  const std::string a100(100, 'a');
  const std::string b99(99, 'b');
  const std::string euro = "\xe2\x82\xac";
  std::string euros;
  for (int i = 0; i < 300; ++i) euros += euro;
  std::string euros_head;
  for (int i = 0; i < 100; ++i) euros_head += euro;
  std::string euros_tail;
  for (int i = 0; i < 99; ++i) euros_tail += euro;
  const LongCase cases[] = {
      {"exactly 200 stays whole", std::string(200, 'x'), std::string(200, 'x')},
      {"201: the middle goes", a100 + "MM" + b99, a100 + ellipsis + b99},
      {"300 characters of 3 bytes each: counted as characters", euros,
       euros_head + ellipsis + euros_tail},
      {"an escape is not cut: one that would cross the head's end is left out",
       std::string(98, 'a') + "\n" + std::string(200, 'c'),
       std::string(98, 'a') + ellipsis + std::string(99, 'c')},
      {"escapes count four each: 50 newlines are 200 characters", std::string(50, '\n'),
       [] {
         std::string s;
         for (int i = 0; i < 50; ++i) s += "\\x0a";
         return s;
       }()},
      {"51 newlines are too many", std::string(51, '\n'),
       [&] {
         std::string s;
         for (int i = 0; i < 25; ++i) s += "\\x0a";
         s += ellipsis;
         for (int i = 0; i < 24; ++i) s += "\\x0a";
         return s;
       }()},
  };
  for (const LongCase& c : cases) {
    const std::string shown = printable_outside_text(c.text);
    EXPECT_EQ(shown, c.shown) << c.what;
    EXPECT_LE(shown_characters(shown), platform::OUTSIDE_TEXT_SHOWN_CHARACTERS) << c.what;
  }
}

TEST(OutsideText, AnyLimitHoldsAndAHugeTextKeepsItsEnds) {
  std::string huge = "/start" + std::string(10 * 1024 * 1024, '\n') + "end";
  const std::string shown = printable_outside_text(huge);
  EXPECT_EQ(shown.substr(0, 6), "/start");
  EXPECT_EQ(shown.substr(shown.size() - 3), "end");
  EXPECT_LE(shown_characters(shown), 200u);
  for (std::size_t limit : {1u, 2u, 7u}) {
    EXPECT_LE(shown_characters(printable_outside_text("abcdefghij", limit)), limit)
        << "limit " << limit;
  }
  EXPECT_EQ(printable_outside_text("abcdefghij", 7), "abc\xe2\x80\xa6hij");
}

}  // namespace
