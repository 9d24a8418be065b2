// The channel table and the data block over real TCP, with no joystick
// present: every axis reads centred.

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"

namespace test_support {
namespace {

RawClient connect_raw(ServerProcess& server) {
  RawClient client;
  std::uint16_t port = server.wait_for_port();
  if (port != 0) client.connect(port);
  return client;
}

void expect_reply(RawClient& client, const Bytes& expected) {
  EXPECT_EQ(hex(client.read_exact(expected.size())), hex(expected));
}

void expect_closed_silently(RawClient& client) {
  Bytes extra;
  EXPECT_EQ(client.read_to_end(&extra), StreamEnd::kClosed);
  EXPECT_EQ(hex(extra), "");
}

TEST(ChannelsEndToEnd, DataBeforeAnyChannelInfoEndsSession) {
  ServerProcess server;
  RawClient early = connect_raw(server);
  ASSERT_TRUE(early.connected());
  ASSERT_TRUE(early.send_bytes(message(5)));
  // No table exists yet: nothing is sent and the reason goes to standard error.
  expect_closed_silently(early);
  EXPECT_EQ(server.stderr_text(), error_line(ENOENT));

  // The next client is served as if nothing had happened.
  RawClient next = connect_raw(server);
  ASSERT_TRUE(next.connected());
  ASSERT_TRUE(next.send_bytes(message(4) + message(5)));
  expect_reply(next, channel_info_reply(false) + centred_data_reply());
  EXPECT_EQ(server.stderr_text(), error_line(ENOENT));
}

TEST(ChannelsEndToEnd, ChannelInfoAndDataAreExact) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // 456 bytes: the head and all five records, before any data block exists.
  ASSERT_TRUE(client.send_bytes(message(4, Bytes(3, 4))));
  expect_reply(client, channel_info_reply(false));
  // 48 bytes: index, count and centred value of each channel in table order.
  ASSERT_TRUE(client.send_bytes(message(5, Bytes(5, 5))));
  expect_reply(client, centred_data_reply());
  ASSERT_TRUE(client.send_bytes(message(5)));
  expect_reply(client, centred_data_reply());
  // The table now tells the block's length and where each value lies in it.
  ASSERT_TRUE(client.send_bytes(message(4)));
  expect_reply(client, channel_info_reply(true));
  ASSERT_TRUE(client.send_bytes(message(9)));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(ChannelsEndToEnd, LaterSessionSeesTheSameTable) {
  ServerProcess server;
  for (int session = 1; session <= 3; ++session) {
    SCOPED_TRACE(session);
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    // Defined once in the life of the process: still five records, not more.
    ASSERT_TRUE(client.send_bytes(message(4)));
    expect_reply(client, channel_info_reply(session > 1));
    ASSERT_TRUE(client.send_bytes(message(5) + message(4)));
    expect_reply(client, centred_data_reply() + channel_info_reply(true));
    ASSERT_TRUE(client.send_bytes(message(9)));
    expect_closed_silently(client);
  }
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support
