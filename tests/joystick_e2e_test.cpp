// Joystick 0 end to end: a server process with a settable joystick, moved
// through the fixture's stdin and read back through TCP as a client reads it.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "tests/support/client_connection.h"
#include "tests/support/server_process.h"

namespace {

using Values = std::array<float, 4>;  // X, Y, Rudder, Thrust

// The channel value of raw under the scale of capabilities xmin..xmax.
float expected(double raw, double xmin, double xmax) {
  const double range = xmax - xmin;
  return static_cast<float>((raw - range * 0.5) / range);
}

float linux_scale(double raw) { return expected(raw, 0, 65535); }

// One MSG_DATA request: the four values, after checking the block's layout.
Values request_values(client::Connection& connection) {
  client::DataBlock block;
  EXPECT_TRUE(connection.data(&block)) << connection.error();
  Values values{};
  EXPECT_EQ(block.channels.size(), 4u);
  for (std::size_t i = 0; i < block.channels.size() && i < 4; ++i) {
    EXPECT_EQ(block.channels[i].index, static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(block.channels[i].values.size(), 1u);
    if (!block.channels[i].values.empty()) values[i] = block.channels[i].values[0];
  }
  return values;
}

client::Connection connect_with_channels(test_support::ServerProcess& server) {
  client::Connection connection = test_support::connect_client(server);
  EXPECT_TRUE(connection.connected()) << connection.error();
  client::ChannelInfo info;
  EXPECT_TRUE(connection.channel_info(&info)) << connection.error();
  EXPECT_EQ(info.record_count, 5);
  return connection;
}

TEST(JoystickEndToEnd, MovedAxesReadBackExactly) {
  test_support::ServerProcess server({"--fake-joystick"});
  ASSERT_EQ(server.command("axes 0 65535 32768 1000"), "ok");
  client::Connection connection = connect_with_channels(server);
  ASSERT_TRUE(connection.connected());

  // The Z axis feeds Thrust and the R axis feeds Rudder.
  EXPECT_EQ(request_values(connection),
            (Values{-0.5f, 0.5f, linux_scale(1000), linux_scale(32768)}));

  // Moved between two requests of one session; buttons have no channel.
  ASSERT_EQ(server.command("axes 65535 12345 0 32767"), "ok");
  ASSERT_EQ(server.command("buttons 0xff"), "ok");
  EXPECT_EQ(request_values(connection),
            (Values{0.5f, linux_scale(12345), linux_scale(32767), -0.5f}));
  ASSERT_EQ(server.command("buttons 0"), "ok");
  EXPECT_EQ(request_values(connection),
            (Values{0.5f, linux_scale(12345), linux_scale(32767), -0.5f}));

  ASSERT_TRUE(connection.end());
  EXPECT_EQ(server.stop(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(JoystickEndToEnd, AbsentDeviceReadsCentredUntilItReturns) {
  test_support::ServerProcess server({"--fake-joystick"});
  ASSERT_EQ(server.command("axes 100 200 300 400"), "ok");
  ASSERT_EQ(server.command("absent"), "ok");
  client::Connection connection = connect_with_channels(server);
  ASSERT_TRUE(connection.connected());

  const float centred = linux_scale(32767);
  EXPECT_EQ(request_values(connection), (Values{centred, centred, centred, centred}));

  ASSERT_EQ(server.command("present"), "ok");
  EXPECT_EQ(request_values(connection),
            (Values{linux_scale(100), linux_scale(200), linux_scale(400), linux_scale(300)}));

  ASSERT_TRUE(connection.end());
  EXPECT_EQ(server.stop(), 0);
}

TEST(JoystickEndToEnd, CapabilitiesAtStartScaleEveryAxis) {
  // The scale is fixed from the fake's capabilities, so the fake was in place
  // before the server fixed it.
  test_support::ServerProcess server({"--fake-joystick", "--caps", "100", "1100"});
  ASSERT_EQ(server.command("axes 600 100 1100 350"), "ok");
  client::Connection connection = connect_with_channels(server);
  ASSERT_TRUE(connection.connected());
  EXPECT_EQ(request_values(connection), (Values{0.1f, -0.4f, -0.15f, 0.6f}));
  EXPECT_EQ(request_values(connection)[0], expected(600, 100, 1100));

  ASSERT_TRUE(connection.end());
  EXPECT_EQ(server.stop(), 0);
}

TEST(JoystickEndToEnd, FixtureRefusesUnknownCommands) {
  test_support::ServerProcess server({"--fake-joystick"});
  EXPECT_EQ(server.command("axes 1 2 3"), "error: axes 1 2 3");
  EXPECT_EQ(server.command("axes 1 2 3 4294967296"), "error: axes 1 2 3 4294967296");
  EXPECT_EQ(server.command("wiggle"), "error: wiggle");
  EXPECT_EQ(server.command("axes 1 2 3 4294967295"), "ok");
  EXPECT_EQ(server.stop(), 0);
}

}  // namespace
