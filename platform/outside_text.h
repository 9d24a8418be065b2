#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Texts that come from outside the program (environment values, file and
// object names, device names, settings) are printed on one line that keeps
// its reason: a name must never start a line of its own, move the cursor or
// push the rest of the message off the screen.

namespace platform {

// At most this many characters of an outside text are shown.
inline constexpr std::size_t OUTSIDE_TEXT_SHOWN_CHARACTERS = 200;

// text as it may be printed:
//  - C0 controls (0x00-0x1f), DEL (0x7f), C1 controls (U+0080-U+009F, the
//    UTF-8 bytes c2 80 to c2 9f) and every byte that is not part of valid
//    UTF-8 are written as \xNN, one escape per byte (lower-case hex);
//  - every other character, valid UTF-8, is kept as it is (a backslash too:
//    Windows paths stay readable).
// Characters are counted as the result shows them: a kept code point is one,
// an escape is four. A result that would be longer than max_characters keeps
// its beginning and its end and has "…" (U+2026, counted as one) in place of
// its middle, so it is at most max_characters long (a little shorter when a
// piece would not fit): neither a code point nor an escape is ever cut.
// max_characters is at least 1, room for the ellipsis; std::string_view::npos
// never shortens (a whole line of ours whose outside texts are shortened
// already, or cannot be told apart: escaped, it stays one line).
std::string printable_outside_text(std::string_view text,
                                   std::size_t max_characters = OUTSIDE_TEXT_SHOWN_CHARACTERS);

}  // namespace platform
