#include <gtest/gtest.h>

#include "tests/support/server_process.h"

namespace {

TEST(SessionEndToEnd, HandshakeAndServerInfo) {
  test_support::ServerProcess server;
  client::Connection connection = server.connect();
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

}  // namespace
