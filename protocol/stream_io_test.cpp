#include "protocol/stream_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/socket_pair.h"

namespace {

using test_support::SocketPair;

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
