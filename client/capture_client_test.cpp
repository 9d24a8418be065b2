#include "client/capture_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/support/client_connection.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::float_bits;
using test_support::words;

TEST(ClientRegistry, SeesPublicationsMadeAfterItWasOpened) {
  std::string name = test_support::unique_registry_name();
  {
    test_support::RegistryView server_side(name);
    ASSERT_TRUE(server_side.ok());
    client::Registry registry;
    ASSERT_TRUE(registry.open(name.c_str())) << registry.error();
    EXPECT_TRUE(registry.entries().empty());

    // Another process publishes and withdraws while the client keeps its one view.
    server_side.occupy(3, "Orvandelcaster", 4321);
    std::optional<std::uint16_t> port = registry.find("Orvandelcaster");
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(*port, 4321);
    server_side.vacate(3);
    EXPECT_FALSE(registry.find("Orvandelcaster").has_value());
  }
  test_support::remove_registry(name);
}

TEST(ClientRegistry, MissingNameIsReportedByName) {
  std::string name = test_support::unique_registry_name();
  std::string error;
  EXPECT_FALSE(client::find_server("Orvandelcaster", &error, name.c_str()).has_value());
  EXPECT_EQ(error, "no server named \"Orvandelcaster\" in the registry (not running)");
  test_support::remove_registry(name);
}

TEST(ClientDecoding, DataBlockEntriesAndMalformedBlocks) {
  client::DataBlock block;
  ASSERT_TRUE(client::parse_data_block(
      words({1, 1, float_bits(0.5f), 7, 2, float_bits(-1.0f), float_bits(2.0f)}), &block));
  ASSERT_EQ(block.channels.size(), 2u);
  EXPECT_EQ(block.channels[0].index, 1);
  EXPECT_EQ(block.channels[0].values, std::vector<float>{0.5f});
  EXPECT_EQ(block.channels[1].index, 7);
  EXPECT_EQ(block.channels[1].values, (std::vector<float>{-1.0f, 2.0f}));
  EXPECT_TRUE(client::parse_data_block({}, &block));
  EXPECT_TRUE(block.channels.empty());

  EXPECT_FALSE(client::parse_data_block(words({1, 2, 0}), &block)) << "values missing";
  EXPECT_FALSE(client::parse_data_block(words({1, 0}), &block)) << "no values";
  EXPECT_FALSE(client::parse_data_block(words({1, 0x40000000, 0}), &block)) << "huge count";
  EXPECT_FALSE(client::parse_data_block({0, 0, 0, 1, 0}, &block)) << "not whole words";
}

TEST(ClientDecoding, ChannelTableMustMatchItsRecordCount) {
  std::vector<unsigned char> head = words({0, 0, 0, 0, 0, 0, 524288, 1, 1});
  std::vector<unsigned char> body = head;
  body.resize(36 + 84, 0);
  client::ChannelInfo info;
  ASSERT_TRUE(client::parse_channel_info(body, &info));
  EXPECT_EQ(info.head_word_a, 524288u);
  EXPECT_EQ(info.records.size(), 1u);
  body.pop_back();
  EXPECT_FALSE(client::parse_channel_info(body, &info));
  EXPECT_FALSE(client::parse_channel_info(words({0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF}), &info));
}

TEST(ClientConnection, DiagnosticInsteadOfAReplyFailsTheRequest) {
  test_support::ServerProcess server;
  client::Connection connection = test_support::connect_client(server);
  ASSERT_TRUE(connection.connected()) << connection.error();
  EXPECT_FALSE(connection.check_version(301));
  ASSERT_TRUE(connection.diagnostic().has_value());
  EXPECT_EQ(connection.diagnostic()->level, 3u);
  EXPECT_EQ(connection.diagnostic()->text,
            "Orvandelcaster: Protocol mismatch: client = 301, server = 300\n");
  EXPECT_EQ(connection.error(),
            "the server answered MSG_VERSION with: Orvandelcaster: Protocol mismatch: client = "
            "301, server = 300");
}

// The socket is held out of the public header: a move hands the session over
// and leaves an unconnected connection behind, usable like a new one.
TEST(ClientConnection, MoveHandsTheSessionOverAndLeavesAnUnconnectedOne) {
  test_support::ServerProcess server;
  client::Connection first = test_support::connect_client(server);
  ASSERT_TRUE(first.connected()) << first.error();
  client::Connection second = std::move(first);
  EXPECT_TRUE(second.check_version()) << second.error();
  EXPECT_FALSE(first.connected());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(first.fd(), -1);
  EXPECT_FALSE(first.data(nullptr));
  EXPECT_EQ(first.error(), "not connected");
}

}  // namespace
