#pragma once

#include "tests/support/raw_client.h"
#include "tests/support/server_process.h"

// Steps that end-to-end tests take over and over, with their gtest checks.
namespace test_support {

// A raw client connected to the server's current publication; check connected().
RawClient connect_raw(ServerProcess& server, int receive_buffer = 0);

// Reads as many bytes as expected holds and compares them.
void expect_reply(RawClient& client, const Bytes& expected);

// The server closes the connection in order and sends nothing more.
void expect_closed_silently(RawClient& client);

// Sends request over and over, unread replies piling up, until the server
// thread is blocked sending to client. The client needs a small receive buffer
// (see RawClient::connect). False when that did not happen within timeout_ms.
bool fill_until_server_blocks_sending(ServerProcess& server, RawClient& client,
                                      const Bytes& request, int timeout_ms = 10000);

}  // namespace test_support
