// The socket seam against the real system: loopback sockets only.

#include "platform/net.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error_text.h"
#ifdef _WIN32
#include "platform/socket_errors_windows.h"
#else
#include <netinet/in.h>
#endif

namespace {

using platform::net;

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::start_socket_library(), 0); }
  void TearDown() override { platform::stop_socket_library(); }

  // A connection to 127.0.0.1:net_port from a socket of the seam: 0, or -1 with errno.
  static int connect_loopback(int sock, std::uint16_t net_port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = net_port;
#ifdef _WIN32
    if (::connect(static_cast<SOCKET>(sock), reinterpret_cast<const sockaddr*>(&addr),
                  sizeof addr) != 0) {
      errno = platform::errno_from_winsock(::WSAGetLastError());
      return -1;
    }
    return 0;
#else
    return ::connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
#endif
  }

  // A listener on a port the system chose, and that port.
  static int listening(std::uint16_t* net_port) {
    int listener = net().tcp_socket();
    EXPECT_GE(listener, 0);
    EXPECT_EQ(net().bind_any(listener, 0), 0);
    EXPECT_EQ(net().listen(listener, 1), 0);
    EXPECT_EQ(net().local_port(listener, net_port), 0);
    EXPECT_NE(*net_port, 0);
    return listener;
  }
};

TEST_F(NetTest, GatheredSendArrivesWholeAndInOrder) {
  std::uint16_t port = 0;
  int listener = listening(&port);
  int client = net().tcp_socket();
  ASSERT_EQ(connect_loopback(client, port), 0);
  int served = net().accept(listener);
  ASSERT_GE(served, 0);

  EXPECT_EQ(net().wait_readable(served, 0), 0) << "nothing sent yet";
  char head[] = "head:";
  char body[] = "body";
  iovec parts[2] = {{head, 5}, {body, 4}};
  EXPECT_EQ(net().send_parts(client, parts, 2), 9);
  EXPECT_EQ(net().wait_readable(served, 2000), 1);
  char got[16] = {};
  std::size_t total = 0;
  while (total < 9) {
    ssize_t n = net().recv(served, got + total, sizeof got - total);
    ASSERT_GT(n, 0);
    total += static_cast<std::size_t>(n);
  }
  EXPECT_STREQ(got, "head:body");

  // The peer's close reads as the end of the stream, and wakes a waiter.
  platform::close_socket(client);
  EXPECT_EQ(net().wait_readable(served, 2000), 1);
  EXPECT_EQ(net().recv(served, got, sizeof got), 0);
  platform::close_socket(served);
  platform::close_socket(listener);
}

TEST_F(NetTest, FailuresCarryTheirReasonInErrnoWithLinuxWords) {
  std::uint16_t port = 0;
  int listener = listening(&port);
  platform::close_socket(listener);

  int client = net().tcp_socket();
  errno = 0;
  EXPECT_EQ(connect_loopback(client, port), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_STREQ(platform::error_text(errno), "Connection refused");
  platform::close_socket(client);

  // A port that a listener holds cannot be bound by another socket.
  int holder = listening(&port);
  int second = net().tcp_socket();
  errno = 0;
  EXPECT_EQ(net().bind_any(second, port), -1);
  EXPECT_EQ(errno, EADDRINUSE);
  platform::close_socket(second);
  platform::close_socket(holder);
}

TEST_F(NetTest, ClosingKeepsErrno) {
  int sock = net().tcp_socket();
  errno = EPROTO;
  platform::close_socket(sock);
  EXPECT_EQ(errno, EPROTO);
}

TEST_F(NetTest, NamedTcpServiceHasItsPortAndUnknownOneNone) {
  std::uint16_t port = 0;
  // Both systems know the HTTP service: port 80.
  ASSERT_EQ(net().service_port("http", &port), 0);
  EXPECT_EQ(port, htons(80));
  EXPECT_EQ(net().service_port("no-such-service-here", &port), -1);
}

#ifdef _WIN32
TEST(SocketErrors, WindowsCodesBecomeTheirErrnoCounterparts) {
  EXPECT_EQ(platform::errno_from_winsock(WSAECONNREFUSED), ECONNREFUSED);
  EXPECT_EQ(platform::errno_from_winsock(WSAECONNRESET), ECONNRESET);
  EXPECT_EQ(platform::errno_from_winsock(WSAEADDRINUSE), EADDRINUSE);
  EXPECT_EQ(platform::errno_from_winsock(WSAEWOULDBLOCK), EWOULDBLOCK);
  EXPECT_EQ(platform::errno_from_winsock(WSAESHUTDOWN), EPIPE);
  EXPECT_EQ(platform::errno_from_winsock(WSANOTINITIALISED), ENETDOWN);
  EXPECT_EQ(platform::errno_from_winsock(12345), EIO);
}
#endif

}  // namespace
