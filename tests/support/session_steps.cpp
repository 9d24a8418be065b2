#include "tests/support/session_steps.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>

#include "tests/support/wait.h"

namespace test_support {

RawClient connect_raw(ServerProcess& server, int receive_buffer) {
  RawClient client;
  std::uint16_t port = server.wait_for_port();
  if (port != 0) client.connect(port, receive_buffer);
  return client;
}

void expect_reply(RawClient& client, const Bytes& expected) {
  EXPECT_EQ(hex(client.read_exact(expected.size())), hex(expected));
}

void expect_closed_silently(RawClient& client) {
  Bytes extra;
  EXPECT_EQ(client.read_to_end(&extra), StreamEnd::kClosed);
  EXPECT_EQ(hex(extra), "");
}

bool fill_until_server_blocks_sending(ServerProcess& server, RawClient& client,
                                      const Bytes& request, int timeout_ms) {
  // Small batches, looked at in between, so that few requests are still
  // unread when the server blocks.
  Bytes batch;
  for (int i = 0; i < 64; ++i) batch.insert(batch.end(), request.begin(), request.end());
  std::size_t sent = batch.size();
  return wait_until(
      [&] {
        if (server.in_system_call(SYS_sendto)) return true;
        if (sent == batch.size()) sent = 0;
        sent += client.send_available(batch, sent);
        return false;
      },
      timeout_ms);
}

}  // namespace test_support
