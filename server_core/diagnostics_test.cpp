#include "server_core/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/fake_net.h"
#include "server_core/framing.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::SocketPair;

std::string line_for(const char* prefix, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
std::string line_for(const char* prefix, const char* format, ...) {
  char line[DIAGNOSTIC_LINE_SIZE];
  std::va_list values;
  va_start(values, format);
  format_diagnostic(line, prefix, format, values);
  va_end(values);
  return line;
}

std::string errno_line(const char* prefix, int error) {
  errno = error;
  return line_for(prefix, nullptr);
}

// Captures what this process writes to standard error while it lives.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    m_saved = ::dup(STDERR_FILENO);
    m_file = std::tmpfile();
    ::dup2(::fileno(m_file), STDERR_FILENO);
  }
  ~StderrCapture() {
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    std::fclose(m_file);
  }
  std::string text() {
    std::string out;
    std::rewind(m_file);
    for (int c; (c = std::fgetc(m_file)) != EOF;) out += static_cast<char>(c);
    return out;
  }

 private:
  int m_saved;
  std::FILE* m_file;
};

TEST(DiagnosticLine, PrefixThenMessage) {
  EXPECT_EQ(line_for("Orvandelcaster", "Unknown server command."),
            "Orvandelcaster: Unknown server command.");
  EXPECT_EQ(line_for(nullptr, "no prefix %d", 7), "no prefix 7");
  EXPECT_EQ(line_for("Orvandelcaster", "Protocol mismatch: client = %d, server = %d\n", -1, 300),
            "Orvandelcaster: Protocol mismatch: client = -1, server = 300\n");
}

TEST(DiagnosticLine, ErrnoTextOrNumber) {
  EXPECT_EQ(errno_line("Orvandelcaster", ENOENT), "Orvandelcaster: No such file or directory");
  EXPECT_EQ(errno_line("select", EBADF), "select: Bad file descriptor");
  EXPECT_EQ(errno_line("Orvandelcaster", 0), "Orvandelcaster: (errno = 0)");
  EXPECT_EQ(errno_line(nullptr, -5), "(errno = -5)");
  EXPECT_EQ(errno_line(nullptr, 4000), "(errno = 4000)");
}

TEST(DiagnosticLine, CutAt255CharactersWithTheRestZero) {
  std::string long_prefix(300, 'p');
  EXPECT_EQ(line_for(long_prefix.c_str(), "tail"), std::string(255, 'p'));

  std::string long_message(400, 'm');
  EXPECT_EQ(line_for("Orvandelcaster", "%s", long_message.c_str()),
            "Orvandelcaster: " + std::string(255 - 16, 'm'));
}

TEST(PostDiagnostic, SendsLevelAndZeroFilledTextToTheClient) {
  SocketPair pair;
  StderrCapture err;
  EXPECT_EQ(post_diagnostic(pair.server(), DIAG_CLIENT_ERROR, "Orvandelcaster",
                            "Unknown server command."),
            0);
  std::vector<unsigned char> expected = test_support::words({MSG_DIAGNOSTIC, 260, 3});
  std::string text = "Orvandelcaster: Unknown server command.";
  expected.insert(expected.end(), text.begin(), text.end());
  expected.resize(8 + 260, 0);
  EXPECT_EQ(pair.pending(), expected);
  EXPECT_EQ(err.text(), "");
}

TEST(PostDiagnostic, WithoutClientGoesToStandardErrorWithANewline) {
  StderrCapture err;
  errno = 0;
  EXPECT_EQ(post_diagnostic(-1, DIAG_SOCKET_ERROR, "Orvandelcaster", nullptr), 0);
  errno = ECONNRESET;
  EXPECT_EQ(post_diagnostic(-1, DIAG_SOCKET_ERROR, "Orvandelcaster", nullptr), 0);
  EXPECT_EQ(post_diagnostic(-1, DIAG_CLIENT_ERROR, "x", "ends in a newline\n"), 0);
  EXPECT_EQ(err.text(),
            "Orvandelcaster: (errno = 0)\n"
            "Orvandelcaster: Connection reset by peer\n"
            "x: ends in a newline\n\n");
}

TEST(PostDiagnostic, UndeliverableGoesToStandardErrorInstead) {
  SocketPair pair;
  pair.close_peer();
  StderrCapture err;
  EXPECT_EQ(post_diagnostic(pair.server(), DIAG_CLIENT_ERROR, "Orvandelcaster", "lost"), 0);
  EXPECT_EQ(err.text(), "Orvandelcaster: lost\n");
}

TEST(SendDiagnostic, FailsUnlessTheWholeMessageWentOut) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  int calls = 0;
  // The header goes out, the body does not.
  net.on_send = [&](int fd, const void* buf, std::size_t len) -> ssize_t {
    if (++calls == 1) return platform::system_net().send(fd, buf, len);
    return 0;
  };
  EXPECT_EQ(send_diagnostic(pair.server(), 3, "text"), -1);
}

}  // namespace
