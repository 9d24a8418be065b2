// Broken and hostile input over real TCP: streams cut short, oversized and
// undersized payloads, and a peer that resets the connection while the server
// is sending. Each must give a clear, bounded result without losing the server.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"

namespace test_support {
namespace {

Bytes first_bytes(const Bytes& bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

TEST(BadInputEndToEnd, PeerClosingMidMessageEndsSessionCleanly) {
  ServerProcess server;
  const Bytes version = frame(2, words({300}));
  const Bytes identify = frame(1, text_field("probe", 64) + text_field("test", 64));
  struct Cut {
    Bytes whole;     // requests answered before the cut
    Bytes partial;   // the message the peer stops sending part-way
    std::size_t at;  // bytes of it that were sent
  };
  std::vector<Cut> cuts;
  // Every cut of a request with a payload: before its first byte, within the
  // header, within the payload.
  for (std::size_t at = 0; at < version.size(); ++at) cuts.push_back({{}, version, at});
  // A large payload, cut early and late, after a request that is answered whole.
  for (std::size_t at :
       {std::size_t{5}, std::size_t{8}, std::size_t{9}, std::size_t{72}, identify.size() - 1}) {
    cuts.push_back({version, identify, at});
  }
  for (const Cut& cut : cuts) {
    SCOPED_TRACE("cut after " + std::to_string(cut.at) + " of " + hex(cut.partial));
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(cut.whole + first_bytes(cut.partial, cut.at)));
    client.shutdown_send();
    // Only the whole request is answered; the end of the stream ends the session
    // as MSG_END does: no reply, no error line.
    if (!cut.whole.empty()) expect_reply(client, version_reply());
    expect_closed_silently(client);
  }
  EXPECT_EQ(server.stderr_text(), "");
  EXPECT_NE(server.wait_for_port(), 0);
}

TEST(BadInputEndToEnd, PayloadAboveOneMebibyteEndsSessionUnread) {
  ServerProcess server;
  // The largest payload allowed is read whole and answered.
  RawClient largest = connect_raw(server);
  ASSERT_TRUE(largest.connected());
  ASSERT_TRUE(largest.send_bytes(frame(7, Bytes(1u << 20, 0x77)) + frame(2, words({300}))));
  expect_reply(largest, unknown_command_reply() + version_reply());
  ASSERT_TRUE(largest.send_bytes(frame(9)));
  expect_closed_silently(largest);
  ASSERT_EQ(server.stderr_text(), "");

  // One byte more, or the largest positive length: the session ends on the
  // header alone, with no reply and the reason on standard error.
  std::string expected_stderr;
  for (std::uint32_t length : {(1u << 20) + 1, 0x7fffffffu}) {
    SCOPED_TRACE(length);
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(header(1, length)));
    expect_closed_silently(client);
    expected_stderr += error_line(EMSGSIZE);
    EXPECT_EQ(server.stderr_text(), expected_stderr);
  }
  EXPECT_NE(server.wait_for_port(), 0);
}

TEST(BadInputEndToEnd, ShortVersionPayloadReadsMissingBytesAsZero) {
  ServerProcess server;
  struct Case {
    Bytes payload;
    int seen;  // the version the server must take from it
  };
  // After a good version request the receive buffer still holds 00 00 01 2c:
  // a shorter payload must not borrow those bytes and pass as version 300.
  const Case cases[] = {{{}, 0}, {{0x01, 0x2c}, 0x012c0000}, {{0x00, 0x00, 0x01}, 256}};
  int sessions = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(hex(c.payload));
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(frame(2, words({300})) + frame(2, c.payload)));
    expect_reply(client, version_reply() + version_mismatch_reply(c.seen));
    expect_closed_silently(client);
    ++sessions;
    EXPECT_EQ(count_error_lines(server.stderr_text()), sessions) << server.stderr_text();
  }
}

TEST(BadInputEndToEnd, ShortIdentifyPayloadIsStillAcknowledged) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // The first payloads of the process are tiny, so the receive buffer is no
  // larger than they are: reading 128 bytes from it would overrun it.
  ASSERT_TRUE(client.send_bytes(frame(1)));
  expect_reply(client, identify_reply());
  ASSERT_TRUE(client.send_bytes(frame(1, {'a'})));
  expect_reply(client, identify_reply());
  ASSERT_TRUE(client.send_bytes(frame(1, text_field("probe", 64) + Bytes{'t'})));
  expect_reply(client, identify_reply());
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(BadInputEndToEnd, PeerResettingMidReplyEndsOnlyItsSession) {
  ServerProcess server;
  // A small receive window, so that unread replies soon fill both ends.
  RawClient client = connect_raw(server, 4096);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(fill_until_server_blocks_sending(server, client, frame(3)));
  // The server thread is in the middle of a reply: reset the connection under it.
  client.reset();

  // The process survives, reports the failed send and serves the next client.
  ASSERT_NE(server.wait_for_port(), 0);
  std::string errors = server.stderr_text();
  EXPECT_TRUE(errors == error_line(ECONNRESET) || errors == error_line(EPIPE)) << errors;
  RawClient next = connect_raw(server);
  ASSERT_TRUE(next.connected());
  ASSERT_TRUE(next.send_bytes(frame(2, words({300}))));
  expect_reply(next, version_reply());
}

TEST(BadInputEndToEnd, UndeliverableDiagnosticGoesToStandardError) {
  ServerProcess server;
  RawClient client = connect_raw(server, 4096);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(fill_until_server_blocks_sending(server, client, frame(7)));
  client.reset();

  // The diagnostic that was being sent, and each one for the unknown commands
  // still unread, goes to standard error instead; sending them to the reset
  // connection must not kill the process (no SIGPIPE). The session then ends
  // with the stream, or with a failed receive and its error line.
  ASSERT_NE(server.wait_for_port(), 0);
  std::string errors = server.stderr_text();
  const std::string unknown_line = "Orvandelcaster: Unknown server command.\n";
  std::size_t lines = 0;
  while (errors.compare(lines * unknown_line.size(), unknown_line.size(), unknown_line) == 0) {
    ++lines;
  }
  EXPECT_GE(lines, 1u) << errors;
  std::string rest = errors.substr(lines * unknown_line.size());
  EXPECT_TRUE(rest.empty() || is_error_line(rest)) << errors;
  RawClient next = connect_raw(server);
  ASSERT_TRUE(next.connected());
  ASSERT_TRUE(next.send_bytes(frame(6)));
  expect_reply(next, unknown_command_reply());
}

}  // namespace
}  // namespace test_support
