#pragma once

#include "client/capture_client.h"
#include "tests/support/server_process.h"

// For tests that drive a server process through the client library; they link
// the client themselves (test_support does not).
namespace test_support {

// Waits for the server's publication and connects to it; check connected().
inline client::Connection connect_client(ServerProcess& server, int timeout_ms = 10000) {
  client::Connection connection;
  if (std::uint16_t port = server.wait_for_port(timeout_ms)) connection.connect(port);
  return connection;
}

}  // namespace test_support
