// The server's publication in the shared-memory registry, seen by another
// process: which slot it takes, what it refuses, when it withdraws and
// republishes. Registries are prepared by holding the object before the server
// starts, so that the server finds them as written.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"

namespace test_support {
namespace {

// Where two registry images first differ, named by slot and byte; "" when equal.
std::string first_difference(const std::string& expected, const std::string& actual) {
  if (expected.size() != actual.size()) return "sizes differ";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == actual[i]) continue;
    std::string where =
        i < 4 ? "used word byte " + std::to_string(i)
              : "slot " + std::to_string((i - 4) / 110) + " byte " + std::to_string((i - 4) % 110);
    return where + ": expected " + std::to_string(static_cast<unsigned char>(expected[i])) +
           ", got " + std::to_string(static_cast<unsigned char>(actual[i]));
  }
  return "";
}

// The image of a registry with slot index rewritten as the server publishes it.
std::string with_publication(std::string image, int index, std::uint16_t port) {
  SocketRegistry registry;
  std::memcpy(&registry, image.data(), sizeof registry);
  std::memcpy(registry.slots[index].name, "Orvandelcaster", 15);
  registry.slots[index].port = htons(port);
  registry.used |= 1u << index;
  return std::string(reinterpret_cast<const char*>(&registry), sizeof registry);
}

// The image with the first name byte of each free slot in [first, last] cleared.
std::string with_blanked_names(std::string image, std::uint32_t used, int first, int last) {
  for (int i = first; i <= last; ++i) {
    if (!(used & (1u << i))) image[4 + 110 * static_cast<std::size_t>(i)] = '\0';
  }
  return image;
}

// The server is answering on port.
void expect_served_on(std::uint16_t port) {
  RawClient client;
  ASSERT_TRUE(client.connect(port));
  ASSERT_TRUE(client.send_bytes(frame(3)));
  EXPECT_EQ(hex(client.read_exact(server_info_reply().size())), hex(server_info_reply()));
}

TEST(RegistryEndToEnd, FreshRegistryHoldsTheServerInSlotZero) {
  ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  RegistryView view(server.registry());
  ASSERT_TRUE(view.ok());
  EXPECT_TRUE(view.existed());
  const std::string empty(sizeof(SocketRegistry), '\0');
  EXPECT_EQ(first_difference(with_publication(empty, 0, port), view.snapshot()), "");
  expect_served_on(port);
}

TEST(RegistryEndToEnd, TakesLowestFreeSlotAndBlanksStaleNames) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  view.occupy(0, "Other A", 1000);
  view.occupy(2, "Other B", 2000);
  // A free slot that still carries the server's own name is free all the same.
  view.leave_stale_name(1, "Orvandelcaster");
  for (int i = 3; i < REGISTRY_SLOTS; ++i) view.leave_stale_name(i, "stale-" + std::to_string(i));
  const std::string prepared = view.snapshot();

  ServerProcess server({}, object);
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  EXPECT_EQ(view.used(), 0b111u);
  std::string expected = with_blanked_names(with_publication(prepared, 1, port), 0b111u, 3, 31);
  EXPECT_EQ(first_difference(expected, view.snapshot()), "");
  expect_served_on(port);
}

TEST(RegistryEndToEnd, NameWithoutTerminatingZeroIsNotTheServers) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  // All 108 bytes written: the server's name followed by more characters and
  // no terminating zero, in the first and in the last slot.
  const std::string unterminated = "Orvandelcaster" + std::string(94, 'x');
  view.occupy(0, unterminated, 1111);
  view.occupy(31, unterminated, 3131);
  const std::string prepared = view.snapshot();

  ServerProcess server({}, object);
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  EXPECT_EQ(first_difference(with_publication(prepared, 1, port), view.snapshot()), "");
  EXPECT_EQ(server.stderr_text(), "");
}

TEST(RegistryEndToEnd, NameInUseByALiveServerEndsProcessWithStatusOne) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  for (int i = 0; i < REGISTRY_SLOTS; ++i) view.leave_stale_name(i, "stale-" + std::to_string(i));
  // A server that does not know our instance lock waits for a client under
  // the same name: its port answers.
  LoopbackListener other;
  ASSERT_NE(other.port(), 0);
  view.occupy(5, "Orvandelcaster", other.port());
  const std::string prepared = view.snapshot();

  ServerProcess server({}, object);
  EXPECT_EQ(server.wait_exit(), 1);
  EXPECT_EQ(server.stderr_text(),
            "Orvandelcaster: the name Orvandelcaster is in use in the registry " + object +
                ": Address already in use\n");
  // Only the free slots the scan passed before the match lost their names.
  EXPECT_EQ(first_difference(with_blanked_names(prepared, 1u << 5, 0, 4), view.snapshot()), "");
}

TEST(RegistryEndToEnd, AllSlotsInUseEndsProcessWithStatusOne) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    view.occupy(i, "other-" + std::to_string(i), static_cast<std::uint16_t>(5000 + i));
  }
  const std::string prepared = view.snapshot();

  ServerProcess server({}, object);
  EXPECT_EQ(server.wait_exit(), 1);
  EXPECT_EQ(server.stderr_text(), "Orvandelcaster: all 32 slots of the registry " + object +
                                      " are in use: No space left on device\n");
  EXPECT_EQ(first_difference(prepared, view.snapshot()), "");
}

TEST(RegistryEndToEnd, WithdrawnOnAcceptAndRepublishedOnNewPort) {
  ServerProcess server;
  std::uint16_t first_port = server.wait_for_port();
  ASSERT_NE(first_port, 0);
  RegistryView view(server.registry());
  ASSERT_TRUE(view.ok());
  const std::string published = view.snapshot();

  RawClient client;
  ASSERT_TRUE(client.connect(first_port));
  // A reply proves the session has begun, and the withdrawal comes before it.
  ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
  ASSERT_EQ(hex(client.read_exact(version_reply().size())), hex(version_reply()));
  // Withdrawn: first name byte 0, port 0, bit clear; the rest of the name stays.
  std::string withdrawn = published;
  withdrawn[0] = '\0';
  withdrawn[4] = '\0';
  withdrawn[4 + 108] = withdrawn[4 + 109] = '\0';
  EXPECT_EQ(first_difference(withdrawn, view.snapshot()), "");
  EXPECT_EQ(server.published_port(), 0);
  // Nobody else listens while the client is served.
  RawClient second;
  EXPECT_FALSE(second.connect(first_port));

  // The first connection stays open until the new publication is seen, so the
  // server's end of it still holds the first port: the new one must differ.
  ASSERT_TRUE(client.send_bytes(frame(9)));
  std::uint16_t second_port = server.wait_for_new_port(first_port);
  ASSERT_NE(second_port, 0);
  EXPECT_EQ(first_difference(with_publication(withdrawn, 0, second_port), view.snapshot()), "");
  expect_served_on(second_port);
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support
