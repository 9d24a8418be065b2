#include "server/listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <cstring>
#include <future>
#include <string>

#include "platform/fake_net.h"
#include "platform/socket_owner.h"
#include "platform/unique_fd.h"
#include "protocol/registry_layout.h"
#include "server/process.h"
#include "server/registry.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"
#include "tests/support/stream.h"

namespace {

std::uint16_t bound_port(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

int socket_option(int fd, int level, int name) {
  int value = -1;
  socklen_t len = sizeof value;
  ::getsockopt(fd, level, name, &value, &len);
  return value;
}

bool registry_exists(const std::string& name) {
  platform::UniqueFd fd(::shm_open(name.c_str(), O_RDONLY, 0));
  return fd.valid();
}

class Listener : public ::testing::Test {
 protected:
  void SetUp() override {
    set_registry_object_name(m_registry.c_str());
    g_sockets_ready = 1;
  }
  void TearDown() override {
    set_registry_object_name(nullptr);
    test_support::remove_registry(m_registry);
  }

  // The slots in use, lowest first, as another process reads them.
  struct Entry {
    int slot;
    std::string name;
    std::uint16_t port;  // host order
  };
  std::vector<Entry> published() {
    test_support::RegistryView view(m_registry);
    EXPECT_TRUE(view.ok());
    std::vector<Entry> entries;
    for (int i = 0; view.ok() && i < REGISTRY_SLOTS; ++i) {
      if (!(view.used() & (1u << i))) continue;
      const RegistrySlot& slot = view.slot(i);
      entries.push_back(
          {i, std::string(slot.name, ::strnlen(slot.name, REGISTRY_NAME_SIZE)), ntohs(slot.port)});
    }
    return entries;
  }

  std::string m_registry = test_support::unique_registry_name();
};

TEST_F(Listener, RegistryFormPublishesTheListeningPortInTheLowestFreeSlot) {
  platform::UniqueFd listener(open_registry_listener("Orvandelcaster"));
  ASSERT_TRUE(listener.valid());
  auto entries = published();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].slot, 0);
  EXPECT_EQ(entries[0].name, "Orvandelcaster");
  EXPECT_EQ(entries[0].port, bound_port(listener.get()));
  EXPECT_NE(entries[0].port, 0);
  EXPECT_EQ(socket_option(listener.get(), SOL_SOCKET, SO_ACCEPTCONN), 1);

  withdraw_registration("Orvandelcaster");
  EXPECT_TRUE(published().empty());
}

TEST_F(Listener, NameInUseIsRefusedBeforeAnySocketIsMade) {
  platform::UniqueFd first(open_registry_listener("Orvandelcaster"));
  ASSERT_TRUE(first.valid());
  platform::ScopedFakeNet net;
  EXPECT_EQ(open_registry_listener("Orvandelcaster"), -1);
  EXPECT_EQ(net.socket_calls.load(), 0);
  ASSERT_EQ(published().size(), 1u);
}

TEST_F(Listener, FailingBindPublishesNothing) {
  platform::ScopedFakeNet net;
  net.on_bind_loopback = [](int, std::uint16_t) {
    errno = EADDRINUSE;
    return -1;
  };
  EXPECT_EQ(open_registry_listener("Orvandelcaster"), -1);
  EXPECT_TRUE(published().empty());
}

TEST_F(Listener, WithdrawingAnUnknownNameChangesNothing) {
  platform::UniqueFd listener(open_registry_listener("Orvandelcaster"));
  withdraw_registration("Someone else");
  ASSERT_EQ(published().size(), 1u);
}

TEST_F(Listener, WithdrawingFromARegistryNobodyHoldsLeavesNone) {
  withdraw_registration("Orvandelcaster");
  EXPECT_TRUE(published().empty());
}

TEST_F(Listener, SocketsNotReadyFailsBothFormsWithoutASocket) {
  g_sockets_ready = 0;
  platform::ScopedFakeNet net;
  EXPECT_EQ(open_registry_listener("Orvandelcaster"), -1);
  EXPECT_EQ(open_port_listener("5000", 5000), -1);
  EXPECT_EQ(net.socket_calls.load(), 0);
  EXPECT_FALSE(registry_exists(m_registry));
}

// The port a fixed-port listener asks to bind, in host order. The bind itself
// goes to port 0, so these tests never depend on a free port.
std::uint16_t requested_port(const char* service, int port) {
  platform::ScopedFakeNet net;
  std::uint16_t requested = 0xFFFF;
  net.on_bind_any = [&](int fd, std::uint16_t net_port) {
    requested = ntohs(net_port);
    return platform::system_net().bind_any(fd, 0);
  };
  net.on_service_port = [](const char* name, std::uint16_t* net_port) {
    if (std::string(name) != "capture") return -1;
    *net_port = htons(7000);
    return 0;
  };
  platform::UniqueFd listener(open_port_listener(service, port));
  EXPECT_TRUE(listener.valid());
  if (listener.valid()) {
    EXPECT_EQ(socket_option(listener.get(), SOL_SOCKET, SO_REUSEADDR), 1);
  }
  return requested;
}

TEST_F(Listener, FixedPortFormTakesANumberOrAKnownService) {
  EXPECT_EQ(requested_port("5000", 5000), 5000);
  EXPECT_EQ(requested_port("capture", 0), 7000);
  EXPECT_EQ(requested_port("", 0), 0);
  EXPECT_EQ(requested_port("nonsense", 0), 0);
  EXPECT_EQ(requested_port(nullptr, 6000), 6000);
  EXPECT_EQ(requested_port("70000", 70000), 4464) << "only the low 16 bits count";
}

// Runs accept_client on another thread and returns the port it waits on once
// it listens with backlog 1 (read from the listener itself, not the registry).
struct PendingAccept {
  std::uint16_t port;
  std::future<int> served;
};

PendingAccept start_accept(const char* address, platform::FakeNet& net) {
  auto listening = std::make_shared<std::promise<std::uint16_t>>();
  net.on_listen = [listening](int fd, int backlog) {
    int r = platform::system_net().listen(fd, backlog);
    if (backlog == 1) listening->set_value(bound_port(fd));
    return r;
  };
  std::future<int> served =
      std::async(std::launch::async, [address] { return accept_client(address); });
  return {listening->get_future().get(), std::move(served)};
}

TEST_F(Listener, AcceptWithdrawsThePublicationAndClosesTheListener) {
  platform::ScopedFakeNet net;
  std::uint16_t published_port = 0;
  net.on_accept = [&](int fd) {
    auto entries = published();
    if (!entries.empty()) published_port = entries[0].port;
    return platform::system_net().accept(fd);
  };
  auto [port, accepted] = start_accept("Orvandelcaster", net);
  platform::UniqueFd connection(test_support::connect_loopback(port));
  ASSERT_TRUE(connection.valid());
  platform::UniqueFd served(accepted.get());
  ASSERT_TRUE(served.valid());

  EXPECT_EQ(published_port, port) << "published while waiting";
  EXPECT_TRUE(published().empty()) << "withdrawn once accepted";
  EXPECT_EQ(socket_option(served.get(), IPPROTO_TCP, TCP_NODELAY), 1);
  EXPECT_EQ(platform::UniqueFd(test_support::connect_loopback(port)).get(), -1)
      << "nobody listens during the session";
}

// The first peer belongs to another user, every later one to us.
class FirstPeerForeign final : public platform::SocketOwnerLookup {
 public:
  FirstPeerForeign() { platform::set_socket_owners(this); }
  ~FirstPeerForeign() override { platform::set_socket_owners(nullptr); }
  platform::SocketOwner connection_owner(const sockaddr_in&, const sockaddr_in&) override {
    if (questions++ == 0) return {platform::OwnerKind::OTHER_USER, true, 65534};
    return {platform::OwnerKind::US, true, static_cast<long long>(::geteuid())};
  }
  platform::SocketOwner listener_owner(std::uint16_t) override { return {}; }
  std::atomic<int> questions{0};
};

TEST_F(Listener, AnotherUsersPeerIsClosedUnansweredAndTheNextIsServed) {
  platform::ScopedFakeNet net;
  FirstPeerForeign owners;
  auto [port, accepted] = start_accept("Orvandelcaster", net);
  platform::UniqueFd foreign(test_support::connect_loopback(port));
  ASSERT_TRUE(foreign.valid());
  char byte;
  EXPECT_EQ(::recv(foreign.get(), &byte, 1, 0), 0) << "closed without a reply";
  ASSERT_EQ(published().size(), 1u) << "the name stays published";
  platform::UniqueFd ours(test_support::connect_loopback(port));
  ASSERT_TRUE(ours.valid());
  platform::UniqueFd served(accepted.get());
  EXPECT_TRUE(served.valid());
  EXPECT_EQ(owners.questions.load(), 2);
  EXPECT_TRUE(published().empty());
}

TEST_F(Listener, FixedPortFormPublishesNothing) {
  platform::ScopedFakeNet net;
  // Everything after the first ':' is the port text, so this listens on a
  // port the system chooses.
  auto [port, accepted] = start_accept("name:x:1", net);
  platform::UniqueFd connection(test_support::connect_loopback(port));
  ASSERT_TRUE(connection.valid());
  platform::UniqueFd served(accepted.get());
  EXPECT_TRUE(served.valid());
  EXPECT_FALSE(registry_exists(m_registry));
}

TEST_F(Listener, FailedAcceptReportsItsErrorAndWithdraws) {
  platform::ScopedFakeNet net;
  net.on_wait_readable = [](int, int) { return 1; };
  net.on_accept = [](int) {
    errno = EMFILE;
    return -1;
  };
  errno = 0;
  EXPECT_EQ(accept_client("Orvandelcaster"), -1);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_TRUE(published().empty());
}

TEST_F(Listener, FailedSecondListenWithdraws) {
  platform::ScopedFakeNet net;
  net.on_listen = [](int fd, int backlog) {
    if (backlog == 1) return -1;
    return platform::system_net().listen(fd, backlog);
  };
  EXPECT_EQ(accept_client("Orvandelcaster"), -1);
  EXPECT_TRUE(published().empty());
  EXPECT_EQ(net.accept_calls.load(), 0);
}

}  // namespace
