#pragma once

// What an error number means, in the words the GNU C library uses, on every
// platform: a diagnostic reads the same whichever system the program runs on.
// The C runtime on Windows has no text for most socket errors ("Unknown error"
// for ECONNREFUSED), so the words come from our own table there.

namespace platform {

// The text for error, or null when there is none (0, negative or unknown).
const char* error_text(int error);

// The same, but never null: "Unknown error N" for a number without a text, as
// strerror says it. For messages that always want a reason.
const char* error_text_or_number(int error);

// One entry of the table our own texts come from.
struct ErrorText {
  int error;
  const char* text;
};
// The whole table, for the tests that hold it against the C library.
const ErrorText* error_texts(int* count);

}  // namespace platform
