#include "server_core/framing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_net.h"
#include "tests/support/socket_pair.h"

namespace {

using test_support::frame;
using test_support::operator+;
using test_support::header;
using test_support::SocketPair;

std::vector<unsigned char> bytes_of(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

std::string payload_text() {
  return std::string(reinterpret_cast<const char*>(receive_buffer()), received_length());
}

TEST(ReadMessage, ReadsHeaderAndPayloadAndRecordsType) {
  SocketPair pair;
  pair.send(frame(MSG_IDENTIFY, bytes_of("hello")));
  EXPECT_EQ(read_message(pair.server()), MSG_IDENTIFY);
  EXPECT_EQ(last_message_type(), MSG_IDENTIFY);
  EXPECT_EQ(payload_text(), "hello");
}

TEST(ReadMessage, ZeroLengthKeepsTheBufferContents) {
  SocketPair pair;
  pair.send(frame(7, bytes_of("previous")) + frame(MSG_SERVER_INFO));
  ASSERT_EQ(read_message(pair.server()), 7u);
  EXPECT_EQ(read_message(pair.server()), MSG_SERVER_INFO);
  EXPECT_EQ(last_message_type(), MSG_SERVER_INFO);
  EXPECT_EQ(received_length(), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(receive_buffer()), 8), "previous");
}

TEST(ReadMessage, TopBitLengthHasNoPayload) {
  SocketPair pair;
  // The bytes after a length with the top bit set are the next header.
  pair.send(header(MSG_DATA, 0x80000000u) + frame(MSG_VERSION, {0, 0, 1, 44}));
  EXPECT_EQ(read_message(pair.server()), MSG_DATA);
  EXPECT_EQ(received_length(), 0u);
  EXPECT_EQ(read_message(pair.server()), MSG_VERSION);
  EXPECT_EQ(received_length(), 4u);
}

TEST(ReadMessage, PeerClosingBeforeAWholeMessageGivesEnd) {
  // Cut a valid request at every byte: each cut reads as the end of the stream
  // and leaves the last message type as it was.
  const std::vector<unsigned char> request = frame(MSG_IDENTIFY, bytes_of("0123456789"));
  for (std::size_t cut = 0; cut < request.size(); ++cut) {
    SocketPair pair;
    pair.send(frame(42));
    ASSERT_EQ(read_message(pair.server()), 42u);
    pair.send(
        std::vector<unsigned char>(request.begin(), request.begin() + static_cast<long>(cut)));
    pair.close_peer();
    EXPECT_EQ(read_message(pair.server()), MSG_END) << "cut after " << cut << " bytes";
    EXPECT_EQ(last_message_type(), 42u) << "cut after " << cut << " bytes";
  }
}

TEST(ReadMessage, ReusesALargerBufferAndGrowsForALongerPayload) {
  SocketPair pair;
  pair.send(frame(7, std::vector<unsigned char>(100, 'a')));
  ASSERT_EQ(read_message(pair.server()), 7u);
  const unsigned char* block = receive_buffer();

  pair.send(frame(7, std::vector<unsigned char>(10, 'b')));
  ASSERT_EQ(read_message(pair.server()), 7u);
  EXPECT_EQ(receive_buffer(), block) << "a shorter payload must not allocate";
  EXPECT_EQ(payload_text(), std::string(10, 'b'));

  pair.send(frame(7, std::vector<unsigned char>(200, 'c')));
  ASSERT_EQ(read_message(pair.server()), 7u);
  EXPECT_EQ(payload_text(), std::string(200, 'c'));
}

TEST(ReadMessage, PayloadAboveOneMebibyteEndsWithoutAllocating) {
  SocketPair pair;
  // A bound off by one fails here instead of waiting forever: the reader gives
  // up on a payload that never comes, the writer on a reader that stopped.
  const timeval limit{5, 0};
  ::setsockopt(pair.server(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(pair.peer(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  pair.send(header(MSG_IDENTIFY, MAX_PAYLOAD + 1));
  errno = 0;
  EXPECT_EQ(read_message(pair.server()), 0u);
  EXPECT_EQ(errno, EMSGSIZE);
  EXPECT_EQ(receive_buffer(), nullptr);
  EXPECT_EQ(last_message_type(), 0u);

  // Exactly the bound is still a message. It exceeds the socket's buffer, so
  // it is written from another thread while this one reads.
  std::thread writer([&] { pair.send(frame(7, std::vector<unsigned char>(MAX_PAYLOAD, 'x'))); });
  EXPECT_EQ(read_message(pair.server()), 7u);
  writer.join();
  EXPECT_EQ(received_length(), MAX_PAYLOAD);
}

TEST(ReadMessage, FailingReceiveGivesZero) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  int calls = 0;
  // The header arrives, then the receive of the payload fails.
  net.on_recv = [&](int fd, void* buf, std::size_t len) -> ssize_t {
    if (++calls == 1) return platform::system_net().recv(fd, buf, len);
    errno = ECONNRESET;
    return -1;
  };
  pair.send(frame(MSG_IDENTIFY, bytes_of("abc")));
  EXPECT_EQ(read_message(pair.server()), 0u);
  EXPECT_EQ(last_message_type(), 0u);
}

TEST(SendMessage, EmptyPayloadSendsOnlyTheHeader) {
  SocketPair pair;
  EXPECT_EQ(send_message(pair.server(), MSG_VERSION, nullptr, 0), 0);
  EXPECT_EQ(pair.pending(), header(MSG_VERSION, 0));
}

TEST(SendMessage, HeaderAndPayloadAreBigEndianAndBackToBack) {
  SocketPair pair;
  EXPECT_EQ(send_message(pair.server(), 0x01020304u, "xyz", 3), 3);
  EXPECT_EQ(pair.pending(), (std::vector<unsigned char>{1, 2, 3, 4, 0, 0, 0, 3, 'x', 'y', 'z'}));
}

TEST(SendMessage, FailedHeaderSendsNoPayload) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  int calls = 0;
  // Five header bytes go out, then sending fails.
  net.on_send = [&](int fd, const void* buf, std::size_t) -> ssize_t {
    if (++calls == 1) return platform::system_net().send(fd, buf, 5);
    errno = EPIPE;
    return -1;
  };
  EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), -1);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(pair.pending().size(), 5u);
}

TEST(SendMessage, FailedPayloadReturnsTheFailingResult) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  int calls = 0;
  net.on_send = [&](int fd, const void* buf, std::size_t len) -> ssize_t {
    if (++calls == 1) return platform::system_net().send(fd, buf, len);
    errno = EPIPE;
    return -1;
  };
  EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), -1);
  EXPECT_EQ(pair.pending(), header(MSG_DATA, 7));
}

TEST(SendMessage, VanishedPeerFailsWithoutSignal) {
  SocketPair pair;
  pair.close_peer();
  // Without MSG_NOSIGNAL this would kill the test with SIGPIPE.
  EXPECT_LT(send_message(pair.server(), MSG_DATA, "x", 1), 0);
}

// Sends only the first `limit` bytes of a gathered send, as a kernel may.
ssize_t send_first_bytes(int fd, const iovec* parts, int count, std::size_t limit) {
  std::vector<iovec> cut;
  for (int i = 0; i < count && limit > 0; ++i) {
    std::size_t take = parts[i].iov_len < limit ? parts[i].iov_len : limit;
    cut.push_back({parts[i].iov_base, take});
    limit -= take;
  }
  return platform::system_net().send_parts(fd, cut.data(), static_cast<int>(cut.size()));
}

TEST(SendMessage, HeaderAndPayloadLeaveInOneGatheredSend) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), 7);
  EXPECT_EQ(net.send_parts_calls.load(), 1);
  EXPECT_EQ(net.send_calls.load(), 0);
  EXPECT_EQ(pair.pending(), frame(MSG_DATA, bytes_of("payload")));
}

TEST(SendMessage, GatheredSendCutAtAnyByteIsCompleted) {
  const std::vector<unsigned char> whole = frame(MSG_SERVER_INFO, bytes_of("abcdef"));
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    SocketPair pair;
    platform::ScopedFakeNet net;
    net.on_send_parts = [&](int fd, const iovec* parts, int count) {
      return send_first_bytes(fd, parts, count, cut);
    };
    EXPECT_EQ(send_message(pair.server(), MSG_SERVER_INFO, "abcdef", 6), 6) << "cut at " << cut;
    EXPECT_EQ(pair.pending(), whole) << "cut at " << cut;
  }
}

TEST(SendMessage, GatheredSendThatSendsNothingFailsAsAHeader) {
  for (ssize_t result : {ssize_t{-1}, ssize_t{0}}) {
    SocketPair pair;
    platform::ScopedFakeNet net;
    net.on_send_parts = [&](int, const iovec*, int) -> ssize_t {
      errno = EPIPE;
      return result;
    };
    EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), -1);
    EXPECT_EQ(net.send_calls.load(), 0) << "nothing more is tried";
    EXPECT_TRUE(pair.pending().empty());
  }
}

TEST(SendMessage, PayloadFailingAfterAShortGatheredSendGivesTheFailingResult) {
  for (ssize_t failure : {ssize_t{-1}, ssize_t{0}}) {
    SocketPair pair;
    platform::ScopedFakeNet net;
    net.on_send_parts = [&](int fd, const iovec* parts, int count) {
      return send_first_bytes(fd, parts, count, 10);
    };
    net.on_send = [&](int, const void*, std::size_t) -> ssize_t {
      errno = EPIPE;
      return failure;
    };
    EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), failure);
    EXPECT_EQ(pair.pending(), header(MSG_DATA, 7) + bytes_of("pa"));
  }
}

TEST(SendMessage, HeaderCutShortThenFailingGivesMinusOne) {
  SocketPair pair;
  platform::ScopedFakeNet net;
  net.on_send_parts = [&](int fd, const iovec* parts, int count) {
    return send_first_bytes(fd, parts, count, 3);
  };
  net.on_send = [&](int, const void*, std::size_t) -> ssize_t { return 0; };
  EXPECT_EQ(send_message(pair.server(), MSG_DATA, "payload", 7), -1);
  EXPECT_EQ(pair.pending().size(), 3u);
}

}  // namespace
