// One live server per name and user, whatever becomes of the last one: a
// second instance is refused at start-up, a normal exit withdraws its own
// publication, and a killed server's publication never blocks a restart.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <string>

#include "client/capture_client.h"
#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"
#include "tests/support/wait.h"
#include "tests/support/wire_bytes.h"

namespace test_support {
namespace {

const char ALREADY_RUNNING[] = "Orvandelcaster: already running\n";

TEST(InstanceEndToEnd, SecondInstanceIsRefusedWhetherTheFirstWaitsOrServes) {
  ServerProcess first;
  std::uint16_t port = first.wait_for_port();
  ASSERT_NE(port, 0);

  ServerProcess while_waiting({}, first.registry());
  EXPECT_EQ(while_waiting.wait_exit(), 1);
  EXPECT_EQ(while_waiting.stderr_text(), ALREADY_RUNNING);
  EXPECT_EQ(first.published_port(), port) << "the first instance is not disturbed";

  // While it serves a client its name is withdrawn, yet it still runs.
  RawClient client = connect_raw(first);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(wait_until([&] { return first.published_port() == 0; }));
  ServerProcess while_serving({}, first.registry());
  EXPECT_EQ(while_serving.wait_exit(), 1);
  EXPECT_EQ(while_serving.stderr_text(), ALREADY_RUNNING);

  // The first instance serves on and publishes again after the session.
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_reply(client, version_reply());
  EXPECT_NE(first.wait_for_new_port(port), 0);
  EXPECT_TRUE(first.running());
  EXPECT_EQ(first.stderr_text(), "");
}

class NormalExit : public ::testing::TestWithParam<int> {};

// Other processes hold the registry (a client, a watching probe): the
// publication must not outlive the server, or every restart would be refused.
TEST_P(NormalExit, WithdrawsItsPublicationAndARestartPublishes) {
  ServerProcess first;
  RegistryView view(first.registry());
  ASSERT_TRUE(view.ok());
  ASSERT_NE(first.wait_for_port(), 0);
  EXPECT_EQ(first.stop(GetParam()), 0);
  EXPECT_EQ(first.stderr_text(), "");
  EXPECT_EQ(view.used(), 0u);
  EXPECT_EQ(view.slot(0).name[0], '\0');
  EXPECT_EQ(view.slot(0).port, 0);

  ServerProcess restart({}, first.registry());
  EXPECT_NE(restart.wait_for_port(), 0);
  EXPECT_EQ(restart.stderr_text(), "");
}

INSTANTIATE_TEST_SUITE_P(InstanceEndToEnd, NormalExit, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::string(param.param == SIGTERM ? "Sigterm" : "Sigint");
                         });

TEST(InstanceEndToEnd, ExitLeavesASlotThatIsNoLongerOurs) {
  ServerProcess server;
  RegistryView view(server.registry());
  ASSERT_TRUE(view.ok());
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  // Something rewrote our slot's port: the slot is no longer our publication.
  view.occupy(0, "Orvandelcaster", static_cast<std::uint16_t>(port + 1));
  const std::string rewritten = view.snapshot();
  EXPECT_EQ(server.stop(SIGTERM), 0);
  EXPECT_EQ(view.snapshot(), rewritten);
}

// A server killed while published leaves its slot; nothing answers on its port
// any more, so the next server counts it as dead and takes the name back.
TEST(InstanceEndToEnd, KilledServersPublicationIsReclaimedAtRestart) {
  ServerProcess killed;
  RegistryView view(killed.registry());
  ASSERT_TRUE(view.ok());
  std::uint16_t dead_port = killed.wait_for_port();
  ASSERT_NE(dead_port, 0);
  view.occupy(5, "someone-else", 1);
  EXPECT_EQ(killed.stop(SIGKILL), 128 + SIGKILL);
  const std::uint32_t both = 1u | 1u << 5;
  ASSERT_EQ(view.used(), both) << "the dead publication stays in slot 0";

  ServerProcess restart({}, killed.registry());
  std::uint16_t port = restart.wait_for_new_port(dead_port);
  ASSERT_NE(port, 0);
  EXPECT_EQ(view.used(), both) << "reclaimed in place, nothing else touched";
  EXPECT_EQ(ntohs(view.slot(0).port), port);
  EXPECT_STREQ(view.slot(5).name, "someone-else");
  RawClient client;
  ASSERT_TRUE(client.connect(port));
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);
  EXPECT_EQ(restart.stderr_text(), "");
}

// A settings file of its own for one instance, removed with the object.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& text)
      : m_path("/tmp/instance_e2e." + std::to_string(::getpid()) + "." + std::to_string(s_made++) +
               ".conf") {
    std::ofstream(m_path) << text;
  }
  ~SettingsFile() { ::unlink(m_path.c_str()); }
  const std::string& path() const { return m_path; }

 private:
  static inline int s_made = 0;
  std::string m_path;
};

// The X channel's value served by the server published as name, found by a
// client through the registry as any client finds it.
float served_x(const std::string& registry, const std::string& name, std::string* server_name) {
  client::Connection connection;
  client::ServerInfo info;
  client::ChannelInfo channels;
  client::DataBlock block;
  if (!connection.connect_to_server(name, registry.c_str(), 5000) ||
      !connection.server_info(&info) || !connection.channel_info(&channels) ||
      !connection.data(&block) || block.channels.empty() || block.channels[0].values.empty()) {
    ADD_FAILURE() << name << ": " << connection.error();
    return 0;
  }
  *server_name = info.name;
  return block.channels[0].values[0];
}

TEST(InstanceEndToEnd, TwoNamesServeTheirOwnJoysticksSideBySide) {
  SettingsFile left_settings("# the left hand\nname = Left stick\n");
  SettingsFile right_settings("name=Right stick\n");
  ServerProcess left({"--settings", left_settings.path(), "--fake-joystick"});
  ServerProcess right({"--settings", right_settings.path(), "--fake-joystick"}, left.registry());
  left.set_name("Left stick");
  right.set_name("Right stick");
  ASSERT_EQ(left.command("axes 0 32767 32767 32767"), "ok");
  ASSERT_EQ(right.command("axes 65535 32767 32767 32767"), "ok");
  ASSERT_NE(left.wait_for_port(), 0) << left.stderr_text();
  ASSERT_NE(right.wait_for_port(), 0) << right.stderr_text();

  std::string name;
  EXPECT_EQ(served_x(left.registry(), "Left stick", &name), -0.5f);
  EXPECT_EQ(name, "Left stick");
  EXPECT_EQ(served_x(left.registry(), "Right stick", &name), 0.5f);
  EXPECT_EQ(name, "Right stick");
}

// The name rule itself is server/instance_name_test's, and the real program's
// refusals are app/program_test.sh's: here the lines' escapes, a settings file
// that is no file, and the longest name published whole.
TEST(InstanceEndToEnd, UnusableSettingsEndTheStartWithALine) {
  SettingsFile control("name = tab\there\n");
  SettingsFile longest("name = " + std::string(63, 'n') + "\n");
  const struct {
    std::string settings;
    std::string line;
  } cases[] = {
      {control.path(), "Orvandelcaster: the setting \"name\" in " + control.path() +
                           " must be 1 to 63 printable ASCII characters without ':', not "
                           "\"tab\\x09here\"\n"},
      {"/tmp",
       "Orvandelcaster: cannot use the settings file /tmp: it is a directory, not a regular "
       "file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    ServerProcess refused({"--settings", c.settings});
    EXPECT_EQ(refused.wait_exit(), 1);
    EXPECT_EQ(refused.stderr_text(), c.line);
  }
  ServerProcess accepted({"--settings", longest.path()});
  accepted.set_name(std::string(63, 'n'));
  ASSERT_NE(accepted.wait_for_port(), 0) << accepted.stderr_text();
  std::string served_name;
  served_x(accepted.registry(), std::string(63, 'n'), &served_name);
  EXPECT_EQ(served_name, std::string(63, 'n')) << "the server information holds it whole";
}

}  // namespace
}  // namespace test_support
