// Socket owners: our own loopback sockets as the system reports them, and the
// refusal and unknown-owner paths through a fake table.

#include "platform/socket_owner.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/fake_socket_owners.h"

namespace {

using platform::OwnerKind;
using platform::SocketOwner;

class SocketOwnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::start_socket_library(), 0);
    listener.reset(platform::net().tcp_socket());
    ASSERT_TRUE(listener.valid());
    ASSERT_EQ(platform::net().bind_loopback(listener.get(), 0), 0);
    ASSERT_EQ(platform::net().listen(listener.get(), 1), 0);
    ASSERT_EQ(platform::net().local_port(listener.get(), &net_port), 0);
    client.reset(platform::connect_loopback(ntohs(net_port), 1000));
    ASSERT_TRUE(client.valid());
  }
  void TearDown() override { platform::stop_socket_library(); }

  platform::UniqueSocket listener, client;
  std::uint16_t net_port = 0;
};

// Wine reports no owning process for any socket: there, owners are unknown.
#ifdef _WIN32
constexpr bool OWNERS_MAY_BE_UNKNOWN = true;
#else
constexpr bool OWNERS_MAY_BE_UNKNOWN = false;
#endif

void expect_ours(const SocketOwner& owner) {
  if (OWNERS_MAY_BE_UNKNOWN && owner.kind == OwnerKind::UNKNOWN) return;
  EXPECT_EQ(owner.kind, OwnerKind::US);
}

TEST_F(SocketOwnerTest, OurOwnSocketsAreOursBeforeAndAfterTheAccept) {
  // Not accepted yet: the listener answers for the server's end.
  expect_ours(platform::server_socket_owner(client.get(), 1000));
  expect_ours(platform::socket_owners().listener_owner(net_port));
  platform::UniqueSocket accepted(platform::net().accept(listener.get()));
  ASSERT_TRUE(accepted.valid());
  listener.reset();
  expect_ours(platform::peer_socket_owner(accepted.get()));
  expect_ours(platform::server_socket_owner(client.get(), 1000));
}

TEST_F(SocketOwnerTest, NothingListeningIsNoSocket) {
  std::uint16_t port = net_port;
  listener.reset();
  client.reset();
  SocketOwner owner = platform::socket_owners().listener_owner(port);
  EXPECT_FALSE(owner.found);
  EXPECT_EQ(owner.kind, OwnerKind::UNKNOWN);
}

TEST_F(SocketOwnerTest, AnotherUsersServerIsNamedAtOnce) {
  platform::ScopedFakeSocketOwners owners({OwnerKind::OTHER_USER, true, 0});
  SocketOwner owner = platform::server_socket_owner(client.get(), 1000);
  EXPECT_EQ(owner.kind, OwnerKind::OTHER_USER);
  EXPECT_EQ(owners.questions.load(), 1);
  EXPECT_EQ(platform::peer_socket_owner(client.get()).kind, OwnerKind::OTHER_USER);
}

TEST_F(SocketOwnerTest, AnUnknownOwnerIsAskedAgainOnlyWithinTheTimeout) {
  platform::ScopedFakeSocketOwners owners({OwnerKind::UNKNOWN, false, -1});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::server_socket_owner(client.get(), 100).kind, OwnerKind::UNKNOWN);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(owners.questions.load(), 2);
  EXPECT_GE(took, std::chrono::milliseconds(100));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
}

TEST_F(SocketOwnerTest, AKnownSocketWithoutOwnerIsNotWaitedFor) {
  // As Wine answers: the rows are there, with no owning process.
  platform::ScopedFakeSocketOwners owners({OwnerKind::UNKNOWN, true, -1});
  EXPECT_EQ(platform::server_socket_owner(client.get(), 5000).kind, OwnerKind::UNKNOWN);
  EXPECT_EQ(owners.questions.load(), 2);
}

TEST(DescribeOwner, NamesTheUserWhereTheSystemGivesAUid) {
  EXPECT_EQ(platform::describe_owner({OwnerKind::OTHER_USER, true, -1}), "another user");
#ifndef _WIN32
  EXPECT_EQ(platform::describe_owner({OwnerKind::OTHER_USER, true, 0}), "user root (uid 0)");
  EXPECT_EQ(platform::describe_owner({OwnerKind::OTHER_USER, true, 4000000}), "uid 4000000");
#endif
}

}  // namespace
