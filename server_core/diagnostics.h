#pragma once

#include <cstdarg>
#include <cstddef>

#include "protocol/wire.h"

// Forms the line "<prefix>: <message>", where the message is format applied to
// the values, or, without a format, the C library's text for errno ("(errno = N)"
// for a number it has no text for). Without a prefix the line is the message
// alone. Cut at 255 characters; the rest of the buffer is zero.
void format_diagnostic(char (&line)[DIAGNOSTIC_LINE_SIZE], const char* prefix, const char* format,
                       std::va_list values);

// Builds the line and delivers it: to the client as MSG_DIAGNOSTIC when sock is
// 0 or more, and to standard error (the line and a newline) when sock is negative
// or the message cannot be sent. Always returns 0, so a caller never ends its
// work because of a diagnostic.
int post_diagnostic(int sock, int level, const char* prefix, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Sends the MSG_DIAGNOSTIC message: 0 when the whole message went out, else -1.
int send_diagnostic(int sock, int level, const char* text);

// What the calling thread was doing when its last operation failed, for the
// line that reports it. Each registration and each session starts without one.
// It has room for two outside texts as platform::printable_outside_text shows
// them (an object name and its path, say) and the words around them.
inline constexpr std::size_t FAILURE_CONTEXT_SIZE = 2048;
void set_failure_context(const char* format, ...) __attribute__((format(printf, 1, 2)));
void clear_failure_context();
const char* failure_context();

// Writes a failure line to standard error: "<prefix>: <context>: <text for
// errno>", or without a context "<prefix>: <text for errno>"; with a next step,
// "; <next_step>" follows. Only the wire's diagnostic is cut at 255
// characters: a line on standard error has room for the whole context, so
// its reason is never cut off.
void report_failure_line(const char* prefix, const char* next_step = nullptr);

// Writes "<prefix>: <message>" to standard error in one write, the message
// being format applied to the values, with the same room as a failure line.
void report_line(const char* prefix, const char* format, ...) __attribute__((format(printf, 2, 3)));
