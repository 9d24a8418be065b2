#include "protocol/stream_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_net.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::SocketPair;

std::vector<unsigned char> bytes_of(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

TEST(RecvAll, CollectsShortReadsAndReportsAnEarlyClose) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  // One byte per receive call.
  net.on_recv = [](int fd, void* buf, std::size_t) {
    return platform::system_net().recv(fd, buf, 1);
  };
  pair.send(bytes_of("abcdef"));
  pair.close_peer();
  char got[10] = {};
  EXPECT_EQ(recv_all(pair.server(), got, 4), 4);
  EXPECT_EQ(std::string(got), "abcd");
  EXPECT_EQ(recv_all(pair.server(), got, 10), 2);
  EXPECT_EQ(net.recv_calls.load(), 4 + 3);
}

TEST(SendAll, ZeroCountsTouchNothing) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  EXPECT_EQ(recv_all(pair.server(), nullptr, 0), 0);
  EXPECT_EQ(send_all(pair.server(), nullptr, 0), 0);
  EXPECT_EQ(net.recv_calls.load(), 0);
  EXPECT_EQ(net.send_calls.load(), 0);
}

TEST(SendAll, ContinuesAfterPartialSendsAndReportsTheFailingSend) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  int calls = 0;
  net.on_send = [&](int fd, const void* buf, std::size_t len) -> ssize_t {
    if (++calls == 4) return 0;
    return platform::system_net().send(fd, buf, len < 3 ? len : 3);
  };
  EXPECT_EQ(send_all(pair.server(), "abcdef", 6), 6);
  EXPECT_EQ(send_all(pair.server(), "ghijkl", 6), 0) << "a failed send is never a partial count";
  EXPECT_EQ(pair.pending(), bytes_of("abcdefghi"));
}

TEST(StreamIo, ReadWithinATimeOutGetsAllFewerOrNone) {
  SocketPair pair;
  unsigned char got[4];
  errno = 0;
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 50), -1) << "nothing arrives";
  EXPECT_EQ(errno, ETIMEDOUT);

  pair.send({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 1000), 4);
  EXPECT_EQ(std::memcmp(got, "\1\2\3\4", 4), 0);

  pair.close_peer();
  EXPECT_EQ(recv_all_within(pair.server(), got, 4, 1000), 2) << "the peer closed after two";
  EXPECT_EQ(recv_all(pair.server(), got, 4), 0);
}

TEST(StreamIo, SendAllSendsEverything) {
  SocketPair pair;
  std::string text(100000, 'q');
  // Larger than a socket pair's buffer: the peer reads while it is sent.
  std::vector<unsigned char> received;
  std::thread reader([&] { received = pair.receive(text.size(), 10000); });
  EXPECT_EQ(send_all(pair.server(), text.data(), static_cast<int>(text.size())),
            static_cast<int>(text.size()));
  reader.join();
  EXPECT_EQ(received.size(), text.size());
}

}  // namespace
