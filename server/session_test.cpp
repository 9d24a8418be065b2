#include "server/session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fake_net.h"
#include "server/capture_server.h"
#include "server/listener.h"
#include "server/registry.h"
#include "server_core/framing.h"
#include "tests/support/raw_client.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::frame;
using test_support::operator+;
using test_support::SocketPair;

std::vector<unsigned char> identify_payload(const std::string& first, const std::string& second) {
  std::vector<unsigned char> payload(128, 0);
  std::memcpy(payload.data(), first.data(), first.size());
  std::memcpy(payload.data() + 64, second.data(), second.size());
  return payload;
}

struct Identification {
  int result;
  std::string first, second, host;
  bool host_zero_filled;
};

// Reads one request from the peer, then runs read_identification on it.
Identification identify(SocketPair& pair, const std::vector<unsigned char>& request) {
  pair.send(request);
  read_message(pair.server());
  char first[64], second[64], host[64];
  std::memset(host, '#', sizeof host);
  Identification out;
  out.result = read_identification(pair.server(), first, second, host);
  out.first = std::string(first, ::strnlen(first, 64));
  out.second = std::string(second, ::strnlen(second, 64));
  out.host = std::string(host, ::strnlen(host, 64));
  out.host_zero_filled = out.host.size() < 64;
  for (std::size_t i = out.host.size(); i < 64; ++i) out.host_zero_filled &= host[i] == '\0';
  return out;
}

TEST(ReadIdentification, CopiesBothTextsAndNamesALocalPeerByThisMachine) {
  SocketPair pair;
  Identification id = identify(pair, frame(MSG_IDENTIFY, identify_payload("client", "user")));
  EXPECT_EQ(id.result, 0);
  EXPECT_EQ(id.first, "client");
  EXPECT_EQ(id.second, "user");
  char this_host[256] = {};
  ::gethostname(this_host, sizeof this_host - 1);
  EXPECT_EQ(id.host, std::string(this_host).substr(0, 63));
  EXPECT_TRUE(id.host_zero_filled);
}

TEST(ReadIdentification, RefusesUnlessTheLastMessageWasAnIdentification) {
  SocketPair pair;
  Identification id = identify(pair, frame(MSG_SERVER_INFO, identify_payload("a", "b")));
  EXPECT_EQ(id.result, -1);
}

// The peer seen as an IPv4 address, whatever the socket really is.
void pretend_ipv4_peer(platform::FakeNet& net) {
  net.on_peer_address = [](int, sockaddr* addr, socklen_t* len) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(0x7F000001);
    std::memcpy(addr, &in, sizeof in);
    *len = sizeof in;
    return 0;
  };
}

TEST(ReadIdentification, LongHostNameKeepsItsFirst63Characters) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  pretend_ipv4_peer(net);
  net.on_host_name_of = [](const sockaddr*, socklen_t, char* host, std::size_t size) {
    std::string name(100, 'h');
    std::snprintf(host, size, "%s", name.c_str());
    return 0;
  };
  Identification id = identify(pair, frame(MSG_IDENTIFY, identify_payload("a", "b")));
  EXPECT_EQ(id.result, 0);
  EXPECT_EQ(id.host, std::string(63, 'h'));
  EXPECT_TRUE(id.host_zero_filled);
}

TEST(ReadIdentification, UnnamedPeerHasAnEmptyHostName) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  pretend_ipv4_peer(net);
  net.on_host_name_of = [](const sockaddr*, socklen_t, char*, std::size_t) { return -1; };
  Identification id = identify(pair, frame(MSG_IDENTIFY, identify_payload("a", "b")));
  EXPECT_EQ(id.result, 0);
  EXPECT_EQ(id.host, "");
  EXPECT_TRUE(id.host_zero_filled);
}

TEST(ReadIdentification, TextsWithoutTerminatorStopAtTheirField) {
  SocketPair pair;
  std::vector<unsigned char> payload(128, 'x');
  payload[64] = 'y';
  Identification id = identify(pair, frame(MSG_IDENTIFY, payload));
  EXPECT_EQ(id.first, std::string(64, 'x'));
  EXPECT_EQ(id.second, "y" + std::string(63, 'x'));
}

// When waiting for a request fails, the client gets two diagnostics and the
// whole process ends with status 1. Run in a child process of its own, as
// the real server thread on a private registry.
TEST(ServeClient, FailedWaitEndsTheProcessAfterTellingTheClient) {
  std::string registry = test_support::unique_registry_name();
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    set_registry_object_name(registry.c_str());
    start_sockets();
    static platform::FakeNet net;
    // Only the session's wait fails; the listener's waits for the client.
    net.on_wait_readable = [](int fd, int timeout_ms) {
      int listening = 0;
      socklen_t length = sizeof listening;
      ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length);
      if (listening) return platform::system_net().wait_readable(fd, timeout_ms);
      errno = EBADF;
      return -1;
    };
    platform::set_net(&net);
    server_thread(nullptr);
  }
  std::uint16_t port = test_support::wait_for_publication(registry, "Orvandelcaster", 10000);
  ASSERT_NE(port, 0);
  test_support::RawClient connection;
  ASSERT_TRUE(connection.connect(port));
  test_support::Bytes expected =
      test_support::diagnostic_message(4, "Orvandelcaster: select failed") +
      test_support::diagnostic_message(4, "select: Bad file descriptor");
  test_support::Bytes got = connection.read_exact(expected.size());
  EXPECT_EQ(test_support::hex(got), test_support::hex(expected));

  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  test_support::remove_registry(registry);
}

}  // namespace
