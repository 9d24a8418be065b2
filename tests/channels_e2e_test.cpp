// The channel table and the data block over real TCP, with no joystick
// present: every axis reads centred.

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"

namespace test_support {
namespace {

TEST(ChannelsEndToEnd, DataBeforeAnyChannelInfoEndsSession) {
  ServerProcess server;
  const std::string missing_table =
      "Orvandelcaster: MSG_DATA before MSG_CHANNEL_INFO, no channel table yet: "
      "No such file or directory\n";
  RawClient early = connect_raw(server);
  ASSERT_TRUE(early.connected());
  ASSERT_TRUE(early.send_bytes(frame(5)));
  // No table exists yet: nothing is sent and the reason goes to standard error.
  expect_closed_silently(early);
  EXPECT_EQ(server.stderr_text(), missing_table);

  // The next client is served as if nothing had happened.
  RawClient next = connect_raw(server);
  ASSERT_TRUE(next.connected());
  ASSERT_TRUE(next.send_bytes(frame(4) + frame(5)));
  expect_reply(next, channel_info_reply(false) + centred_data_reply());
  EXPECT_EQ(server.stderr_text(), missing_table);
}

TEST(ChannelsEndToEnd, ChannelInfoAndDataAreExact) {
  ServerProcess server;
  RawClient client = connect_raw(server);
  ASSERT_TRUE(client.connected());
  // 456 bytes: the head and all five records, before any data block exists.
  ASSERT_TRUE(client.send_bytes(frame(4, Bytes(3, 4))));
  expect_reply(client, channel_info_reply(false));
  // 48 bytes: index, count and centred value of each channel in table order.
  ASSERT_TRUE(client.send_bytes(frame(5, Bytes(5, 5))));
  expect_reply(client, centred_data_reply());
  ASSERT_TRUE(client.send_bytes(frame(5)));
  expect_reply(client, centred_data_reply());
  // The table now tells the block's length and where each value lies in it.
  ASSERT_TRUE(client.send_bytes(frame(4)));
  expect_reply(client, channel_info_reply(true));
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(ChannelsEndToEnd, ChannelsAreDefinedOnceAcrossSessions) {
  ServerProcess server;
  // Each step is one session: (requests, replies). The channels are defined by
  // the first table request only; defined again, the table would grow past five
  // records while no data block exists yet.
  const std::pair<Bytes, Bytes> sessions[] = {
      {frame(4) + frame(4), channel_info_reply(false) + channel_info_reply(false)},
      {frame(4) + frame(5) + frame(4),
       channel_info_reply(false) + centred_data_reply() + channel_info_reply(true)},
      {frame(4) + frame(5), channel_info_reply(true) + centred_data_reply()},
  };
  for (const auto& [requests, replies] : sessions) {
    SCOPED_TRACE(hex(requests));
    RawClient client = connect_raw(server);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send_bytes(requests + frame(9)));
    expect_reply(client, replies);
    expect_closed_silently(client);
  }
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support
