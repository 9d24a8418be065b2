#include "server_core/diagnostics.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/errno_keeper.h"
#include "platform/error_text.h"
#include "platform/net.h"
#include "platform/standard_error.h"
#include "server_core/framing.h"

namespace {

// Appends printf output at line[used], never past the line's last byte.
std::size_t append(char (&line)[DIAGNOSTIC_LINE_SIZE], std::size_t used, const char* format,
                   std::va_list values) {
  if (used >= DIAGNOSTIC_LINE_SIZE - 1) return used;
  int n = std::vsnprintf(line + used, DIAGNOSTIC_LINE_SIZE - used, format, values);
  if (n < 0) return used;
  std::size_t end = used + static_cast<std::size_t>(n);
  return end < DIAGNOSTIC_LINE_SIZE - 1 ? end : DIAGNOSTIC_LINE_SIZE - 1;
}

std::size_t append_formatted(char (&line)[DIAGNOSTIC_LINE_SIZE], std::size_t used,
                             const char* format, ...) __attribute__((format(printf, 3, 4)));
std::size_t append_formatted(char (&line)[DIAGNOSTIC_LINE_SIZE], std::size_t used,
                             const char* format, ...) {
  std::va_list values;
  va_start(values, format);
  used = append(line, used, format, values);
  va_end(values);
  return used;
}

// A line for standard error only: a prefix, a failure context, its reason
// and a next step.
constexpr std::size_t STANDARD_ERROR_LINE_SIZE = 2 * FAILURE_CONTEXT_SIZE;

void write_to_stderr(const char* line) {
  // One write per line, so lines from a dying session never interleave.
  char out[STANDARD_ERROR_LINE_SIZE + 1];
  std::size_t length = strnlen(line, STANDARD_ERROR_LINE_SIZE);
  std::memcpy(out, line, length);
  out[length] = '\n';
  std::size_t done = 0;
  while (done <= length) {
    long n = platform::write_standard_error(out + done, length + 1 - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The failure context: per thread, a fixed buffer, so that setting it never
// allocates or fails.
thread_local char t_failure_context[FAILURE_CONTEXT_SIZE];

const char* errno_text(int error, char (&buffer)[32]) {
  if (const char* text = platform::error_text(error)) return text;
  std::snprintf(buffer, sizeof buffer, "(errno = %d)", error);
  return buffer;
}

}  // namespace

void set_failure_context(const char* format, ...) {
  platform::ErrnoKeeper keep_errno;
  std::va_list values;
  va_start(values, format);
  std::vsnprintf(t_failure_context, sizeof t_failure_context, format, values);
  va_end(values);
}

void clear_failure_context() { t_failure_context[0] = '\0'; }

const char* failure_context() { return t_failure_context; }

void report_failure_line(const char* prefix, const char* next_step) {
  char buffer[32];
  const char* reason = errno_text(errno, buffer);
  const char* context = t_failure_context;
  const bool has_context = context[0] != '\0';
  report_line(prefix, "%s%s%s%s%s", context, has_context ? ": " : "", reason, next_step ? "; " : "",
              next_step ? next_step : "");
}

void report_line(const char* prefix, const char* format, ...) {
  char line[STANDARD_ERROR_LINE_SIZE];
  int used = std::snprintf(line, sizeof line, "%s: ", prefix);
  if (used < 0) used = 0;
  if (static_cast<std::size_t>(used) < sizeof line) {
    std::va_list values;
    va_start(values, format);
    std::vsnprintf(line + used, sizeof line - static_cast<std::size_t>(used), format, values);
    va_end(values);
  }
  write_to_stderr(line);
}

void format_diagnostic(char (&line)[DIAGNOSTIC_LINE_SIZE], const char* prefix, const char* format,
                       std::va_list values) {
  int error = errno;
  std::memset(line, 0, sizeof line);
  std::size_t used = 0;
  if (prefix) used = append_formatted(line, used, "%s: ", prefix);
  if (format) {
    append(line, used, format, values);
    return;
  }
  char buffer[32];
  append_formatted(line, used, "%s", errno_text(error, buffer));
}

int post_diagnostic(int sock, int level, const char* prefix, const char* format, ...) {
  char line[DIAGNOSTIC_LINE_SIZE];
  std::va_list values;
  va_start(values, format);
  format_diagnostic(line, prefix, format, values);
  va_end(values);
  if (sock >= 0 && send_diagnostic(sock, level, line) == 0) return 0;
  write_to_stderr(line);
  return 0;
}

int send_diagnostic(int sock, int level, const char* text) {
  unsigned char body[DIAGNOSTIC_BODY_SIZE] = {};
  std::uint32_t net_level = htonl(static_cast<std::uint32_t>(level));
  std::memcpy(body, &net_level, sizeof net_level);
  copy_text_field(reinterpret_cast<char*>(body) + 4, DIAGNOSTIC_LINE_SIZE, text);
  return send_message(sock, MSG_DIAGNOSTIC, body, sizeof body) > 0 ? 0 : -1;
}
