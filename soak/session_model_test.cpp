#include "soak/session_model.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "server/session.h"
#include "soak/peers.h"

namespace {

struct Served {
  int result;
  std::vector<unsigned char> replies;
};

// Plays stream into the real session over a socket pair, its side closed
// after the last byte, and collects everything the session sends back.
Served serve(const std::vector<unsigned char>& stream) {
  int fds[2];
  EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  EXPECT_EQ(::write(fds[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
  ::shutdown(fds[1], SHUT_WR);
  Served served;
  std::thread reader([&] {
    unsigned char chunk[4096];
    for (ssize_t n; (n = ::read(fds[1], chunk, sizeof chunk)) > 0;) {
      served.replies.insert(served.replies.end(), chunk, chunk + n);
    }
  });
  served.result = serve_client(fds[0]);
  ::close(fds[0]);
  reader.join();
  ::close(fds[1]);
  return served;
}

// The soak test trusts the model to know which garbage sessions must fail;
// here it is held against the real session over thousands of random streams,
// from a process whose channel table does not exist yet.
TEST(SessionModel, AgreesWithTheSessionOnRandomStreams) {
  std::mt19937 random(20240607);
  bool channels_defined = false;
  int failures = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<unsigned char> stream = soak::random_client_stream(&random);
    soak::Outcome expected = soak::predict_session(stream, channels_defined);
    Served served = serve(stream);
    int replies = 0;
    ASSERT_TRUE(soak::whole_replies(served.replies, &replies)) << "stream " << i;
    ASSERT_EQ(served.result, expected.failure ? -1 : 0) << "stream " << i;
    ASSERT_EQ(replies, expected.replies) << "stream " << i;
    channels_defined = expected.channels_defined;
    failures += expected.failure;
  }
  EXPECT_TRUE(channels_defined);
  EXPECT_GT(failures, 300) << "the streams should fail often enough to test both ends";
  EXPECT_LT(failures, 2700);
}

TEST(SessionModel, KnowsEachWayASessionEnds) {
  auto frame = [](std::uint32_t type, std::uint32_t length, std::vector<unsigned char> payload) {
    std::vector<unsigned char> bytes = {
        static_cast<unsigned char>(type >> 24),   static_cast<unsigned char>(type >> 16),
        static_cast<unsigned char>(type >> 8),    static_cast<unsigned char>(type),
        static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
        static_cast<unsigned char>(length >> 8),  static_cast<unsigned char>(length)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
  };
  auto fails = [](const std::vector<unsigned char>& s, bool defined = true) {
    return soak::predict_session(s, defined).failure;
  };
  EXPECT_FALSE(fails({}));
  EXPECT_FALSE(fails({0, 0, 0, 5, 0}));               // cut header
  EXPECT_TRUE(fails(frame(0, 0, {})));                // a client diagnostic
  EXPECT_FALSE(fails(frame(2, 4, {0, 0, 1, 0x2c})));  // version 300
  EXPECT_TRUE(fails(frame(2, 2, {1, 0x2c})));         // version 0x012C0000
  EXPECT_TRUE(fails(frame(5, 0, {}), false));         // data before the table
  EXPECT_TRUE(fails(frame(3, (1u << 20) + 1, {})));   // above the limit
  EXPECT_FALSE(fails(frame(3, 1u << 20, {})));        // at the limit, cut short
  EXPECT_FALSE(fails(frame(3, 0x80000000u, {})));     // top bit: no payload
  std::vector<unsigned char> end_then_diagnostic = frame(9, 0, {});
  for (unsigned char b : frame(0, 0, {})) end_then_diagnostic.push_back(b);
  EXPECT_FALSE(fails(end_then_diagnostic));  // nothing after MSG_END is read
}

}  // namespace
