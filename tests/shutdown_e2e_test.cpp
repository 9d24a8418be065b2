// Ending the server process with a stop signal wherever its server thread
// stands: the process ends at once with status 0, without a crash, a hang or
// a line on standard error.

#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <csignal>
#include <ostream>
#include <string>

#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"
#include "tests/support/wait.h"

namespace test_support {
namespace {

// Where the server thread stands when the signal arrives.
enum class ServerState {
  kWaitingForClient,  // published, waiting for a client
  kServingIdle,       // a client connected, no request pending
  kReadingRequest,    // a request half received: blocked reading its payload
  kSendingReply,      // replies unread by the client: blocked sending
};

std::string state_name(ServerState state) {
  switch (state) {
    case ServerState::kWaitingForClient:
      return "WaitingForClient";
    case ServerState::kServingIdle:
      return "ServingIdle";
    case ServerState::kReadingRequest:
      return "ReadingRequest";
    case ServerState::kSendingReply:
      return "SendingReply";
  }
  return "";
}

struct StopCase {
  int signal_number;
  ServerState state;
};

std::string case_name(const StopCase& stop) {
  return std::string(stop.signal_number == SIGTERM ? "Sigterm" : "Sigint") + state_name(stop.state);
}

void PrintTo(const StopCase& stop, std::ostream* out) { *out << case_name(stop); }

class StopSignal : public testing::TestWithParam<StopCase> {};

// Brings the server thread into state; the client (if any) stays connected.
void enter_state(ServerProcess& server, ServerState state, RawClient* client) {
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  if (state == ServerState::kWaitingForClient) {
    // It waits in poll, waking every second to check its publication.
    ASSERT_TRUE(wait_until(
        [&] { return server.in_system_call(SYS_poll) || server.in_system_call(SYS_ppoll); }));
    return;
  }
  ASSERT_TRUE(client->connect(port, 4096));
  // A full exchange: the session has begun.
  ASSERT_TRUE(client->send_bytes(frame(2, words({300}))));
  ASSERT_EQ(hex(client->read_exact(version_reply().size())), hex(version_reply()));
  if (state == ServerState::kReadingRequest) {
    ASSERT_TRUE(client->send_bytes(header(1, 128) + Bytes(10, 'a')));
    ASSERT_TRUE(wait_until([&] { return server.in_system_call(SYS_recvfrom); }));
  } else if (state == ServerState::kSendingReply) {
    ASSERT_TRUE(fill_until_server_blocks_sending(server, *client, frame(3)));
  }
}

TEST_P(StopSignal, EndsProcessAtOnceWithStatusZero) {
  ServerProcess server;
  RawClient client;
  enter_state(server, GetParam().state, &client);
  if (HasFatalFailure()) return;
  EXPECT_EQ(server.stop(GetParam().signal_number), 0);
  EXPECT_EQ(server.stderr_text(), "");
  if (client.connected()) {
    // The connection ends with the process.
    Bytes unread;
    EXPECT_NE(client.read_to_end(&unread), StreamEnd::kTimedOut);
  }
}

INSTANTIATE_TEST_SUITE_P(ShutdownEndToEnd, StopSignal,
                         testing::Values(StopCase{SIGTERM, ServerState::kWaitingForClient},
                                         StopCase{SIGTERM, ServerState::kServingIdle},
                                         StopCase{SIGTERM, ServerState::kReadingRequest},
                                         StopCase{SIGTERM, ServerState::kSendingReply},
                                         StopCase{SIGINT, ServerState::kWaitingForClient},
                                         StopCase{SIGINT, ServerState::kServingIdle},
                                         StopCase{SIGINT, ServerState::kReadingRequest},
                                         StopCase{SIGINT, ServerState::kSendingReply}),
                         [](const testing::TestParamInfo<StopCase>& param_info) {
                           return case_name(param_info.param);
                         });

}  // namespace
}  // namespace test_support
