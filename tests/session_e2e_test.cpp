// Requests and replies of one session, byte for byte, against a fresh server
// process over real TCP on 127.0.0.1.

#include <gtest/gtest.h>

#include "tests/support/client_connection.h"
#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"

namespace test_support {
namespace {

// Two identification texts of 64 bytes each.
Bytes identification() { return text_field("probe", 64) + text_field("test", 64); }

TEST(SessionEndToEnd, HandshakeAndServerInfo) {
  ServerProcess server;
  client::Connection connection = test_support::connect_client(server);
  ASSERT_TRUE(connection.connected()) << connection.error();
  ASSERT_TRUE(connection.identify("probe", "test")) << connection.error();
  ASSERT_TRUE(connection.check_version()) << connection.error();
  client::ServerInfo info;
  ASSERT_TRUE(connection.server_info(&info)) << connection.error();
  EXPECT_EQ(info.name, "Orvandelcaster");
  EXPECT_EQ(info.version, "1.0");
  EXPECT_EQ(info.description, "Orvandelcaster capture server - v1.0");
  ASSERT_TRUE(connection.end());
  EXPECT_EQ(server.stop(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(SessionEndToEnd, AnswersEachRequestExactly) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());

  ASSERT_TRUE(client.send_bytes(frame(1, identification())));
  expect_reply(client, identify_reply());
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  expect_reply(client, version_reply());
  // Bytes after the version word are ignored.
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}) + words({0xdeadbeef}))));
  expect_reply(client, version_reply());
  // Nothing is asked of a server-information request's payload.
  ASSERT_TRUE(client.send_bytes(frame(3, Bytes(7, 0xee))));
  expect_reply(client, server_info_reply());
  // Neither identification nor version is needed first.
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);

  RawClient fresh = connect_raw(server);
  ASSERT_TRUE(fresh.connected());
  ASSERT_TRUE(fresh.send_bytes(frame(3)));
  expect_reply(fresh, server_info_reply());

  EXPECT_EQ(server.stderr_text(), "");
}

TEST(SessionEndToEnd, VersionMismatchSendsDiagnosticAndEndsSession) {
  ServerProcess server;
  struct Case {
    std::uint32_t sent;
    int shown;  // the client's version as the diagnostic prints it: signed
  };
  const Case cases[] = {{301, 301}, {299, 299}, {0xFFFFFFFF, -1}};
  int sessions = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(frame(2, words({c.sent}))));
    // The diagnostic instead of a MSG_VERSION reply, then the end of the connection.
    expect_reply(client, version_mismatch_reply(c.shown));
    expect_closed_silently(client);
    ++sessions;
    // The server thread has reported the failed session before closing it.
    EXPECT_EQ(count_error_lines(server.stderr_text()), sessions) << server.stderr_text();
  }
  EXPECT_EQ(server.stderr_text(),
            "Orvandelcaster: protocol mismatch: client = 301, server = 300: Protocol error\n"
            "Orvandelcaster: protocol mismatch: client = 299, server = 300: Protocol error\n"
            "Orvandelcaster: protocol mismatch: client = -1, server = 300: Protocol error\n");
  EXPECT_TRUE(server.running());
}

// Each failed session's line names its own cause, never one left over from an
// earlier session or call.
TEST(SessionEndToEnd, EachFailureLineNamesItsOwnCause) {
  ServerProcess server;
  const Bytes requests[] = {header(1, 0x7fffffffu), frame(2, words({299})), frame(0),
                            frame(2, words({301}))};
  for (const Bytes& request : requests) {
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(request));
    // A mismatch is answered with a diagnostic; then the server closes.
    Bytes answer;
    client.read_to_end(&answer);
  }
  EXPECT_EQ(server.stderr_text(),
            "Orvandelcaster: Message too long\n"
            "Orvandelcaster: protocol mismatch: client = 299, server = 300: Protocol error\n"
            "Orvandelcaster: the client sent a message of type 0: Protocol error\n"
            "Orvandelcaster: protocol mismatch: client = 301, server = 300: Protocol error\n");
}

TEST(SessionEndToEnd, UnknownCommandsAreAnsweredAndSessionGoesOn) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  const Bytes requests[] = {frame(6),  frame(7, Bytes(10, 0x5a)),     frame(8),
                            frame(10), frame(0x7fffffff, words({1})), frame(0xffffffff)};
  for (const Bytes& request : requests) {
    SCOPED_TRACE(hex(request));
    ASSERT_TRUE(client.send_bytes(request));
    expect_reply(client, unknown_command_reply());
  }
  // The payloads were consumed: the next request is read from its first byte.
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  expect_reply(client, version_reply());
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(SessionEndToEnd, ClientMessageOfTypeZeroEndsSessionWithoutReply) {
  ServerProcess server;
  for (const Bytes& request : {frame(0), frame(0, Bytes(4, 1))}) {
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(request));
    expect_closed_silently(client);
  }
  EXPECT_EQ(server.stderr_text(),
            "Orvandelcaster: the client sent a message of type 0: Protocol error\n"
            "Orvandelcaster: the client sent a message of type 0: Protocol error\n");
  // Each failed session is followed by a new publication.
  EXPECT_NE(server.wait_for_port(), 0);
}

TEST(SessionEndToEnd, EndWithPayloadConsumesItAndEndsCleanly) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // Were the payload left unread, closing the connection would reset it.
  ASSERT_TRUE(client.send_bytes(frame(9, Bytes(20, 0x99))));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
  EXPECT_NE(server.wait_for_port(), 0);
}

TEST(SessionEndToEnd, PipelinedRequestsAreAnsweredInOrder) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // Everything in one write: the server must take each request from where the
  // previous one ended, reading no further.
  ASSERT_TRUE(client.send_bytes(frame(1, identification()) + frame(2, words({300})) + frame(3) +
                                frame(7, Bytes(3, 1)) + frame(1, identification()) +
                                frame(3, Bytes(1000, 0x33)) + frame(9)));
  expect_reply(client, identify_reply() + version_reply() + server_info_reply() +
                           unknown_command_reply() + identify_reply() + server_info_reply());
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(SessionEndToEnd, LengthWithTopBitSetCarriesNoPayload) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // Each header is followed directly by the next one.
  ASSERT_TRUE(client.send_bytes(header(3, 0x80000000) + frame(2, words({300})) +
                                header(7, 0xffffffff) + header(1, 0x80000001) +
                                header(3, 0x7fffffff + 1u)));
  expect_reply(client, server_info_reply() + version_reply() + unknown_command_reply() +
                           identify_reply() + server_info_reply());
  ASSERT_TRUE(client.send_bytes(header(9, 0x80000000)));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support
