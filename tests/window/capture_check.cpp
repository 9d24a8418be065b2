#include "tests/window/capture_check.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "server/registry.h"
#include "tests/support/registry_view.h"

bool connect_when_published(const char* name, int timeout_ms, client::Connection* connection,
                            std::string* error) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    std::uint16_t port = test_support::wait_for_publication(
        registry_object_name(), name, std::max(0, static_cast<int>(left.count())));
    if (port == 0) {
      *error = std::string("no server named \"") + name + "\" in the registry";
      return false;
    }
    if (connection->connect(port, 2000)) return true;
    *error = connection->error();
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool run_capture_requests(client::Connection& connection, std::string* error,
                          std::vector<float>* values) {
  client::ServerInfo info;
  client::ChannelInfo channels;
  client::DataBlock block;
  if (!connection.identify("capture_check", "window tests") || !connection.check_version() ||
      !connection.server_info(&info) || !connection.channel_info(&channels) ||
      !connection.data(&block)) {
    *error = connection.error();
    return false;
  }
  if (info.name != "Orvandelcaster") {
    *error = "the server calls itself " + info.name;
    return false;
  }
  if (channels.record_count != 5 || block.channels.size() != 4) {
    *error = "the server does not offer four channels";
    return false;
  }
  if (values) values->clear();
  for (const client::ChannelValues& channel : block.channels) {
    if (channel.values.size() != 1) {
      *error = "a channel does not carry one value";
      return false;
    }
    if (values) values->push_back(channel.values[0]);
  }
  return true;
}

bool wait_for_silent_close(const client::Connection& connection, int timeout_ms,
                           std::string* error) {
  pollfd readable{connection.fd(), POLLIN, 0};
  if (::poll(&readable, 1, timeout_ms) <= 0) {
    *error = "the connection stayed open";
    return false;
  }
  unsigned char byte;
  if (::recv(connection.fd(), &byte, 1, 0) > 0) {
    *error = "the server sent more after the session";
    return false;
  }
  return true;
}
