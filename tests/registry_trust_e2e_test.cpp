// The registry as other processes of the same user may treat it, and the
// listener as other hosts would see it: a mode opened up, an object cut short,
// a lock held too long or failing, a registration completed between our open
// and our lock, and addresses other than 127.0.0.1.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/registry_io.h"
#include "tests/support/expected_replies.h"
#include "tests/support/raw_client.h"
#include "tests/support/registry_view.h"
#include "tests/support/server_process.h"
#include "tests/support/session_steps.h"
#include "tests/support/wait.h"
#include "tests/support/wire_bytes.h"

namespace test_support {
namespace {

// The object as a file, opened without taking part in the holders' protocol.
platform::UniqueFd open_plainly(const std::string& object) {
  return platform::UniqueFd(::shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
}

// Whether process pid holds a shared flock: /proc/locks lists it as
// "N: FLOCK ADVISORY READ <pid> ...".
bool holds_shared_flock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode;
    pid_t holder = 0;
    if (fields >> number >> kind >> advisory >> mode >> holder && kind == "FLOCK" &&
        mode == "READ" && holder == pid) {
      return true;
    }
  }
  return false;
}

TEST(RegistryTrustEndToEnd, OurObjectOpenToOthersGetsModeSixHundredBack) {
  std::string object = unique_registry_name();
  platform::UniqueFd plain = open_plainly(object);
  ASSERT_TRUE(plain.valid());
  ASSERT_EQ(::fchmod(plain.get(), 0666), 0);
  ServerProcess server({}, object);
  // Looked at before this process opens it as a holder (which would mend it too).
  ASSERT_TRUE(wait_until([&] { return holds_shared_flock(server.pid()); }));
  struct stat st {};
  ASSERT_EQ(::fstat(plain.get(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stderr_text(), "");
}

// Another process of ours cuts the object to nothing: the server's next
// registry access raises no signal, and the object is a page again before use.
TEST(RegistryTrustEndToEnd, ObjectCutShortNeverKillsTheServer) {
  ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  platform::UniqueFd plain = open_plainly(server.registry());
  ASSERT_TRUE(plain.valid());
  ASSERT_EQ(::ftruncate(plain.get(), 0), 0);

  // A session: the server withdraws (finding nothing) and publishes again.
  RawClient client;
  ASSERT_TRUE(client.connect(port));
  ASSERT_TRUE(client.send_bytes(frame(9)));
  expect_closed_silently(client);
  EXPECT_NE(server.wait_for_new_port(port), 0);
  EXPECT_TRUE(server.running());
  struct stat st {};
  ASSERT_EQ(::fstat(plain.get(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(REGISTRY_OBJECT_SIZE));
  EXPECT_EQ(server.stderr_text(), "");
}

// A server opens a new registry (no other holder) and zeroes it; before it
// takes the write lock, another server completes a registration. The first
// one's registration must keep it.
TEST(RegistryTrustEndToEnd, RegistrationMadeBetweenOpenAndLockIsKept) {
  std::string object = unique_registry_name();
  platform::UniqueFd other = open_plainly(object);
  ASSERT_TRUE(other.valid());
  ASSERT_EQ(platform::try_lock_byte(other.get(), REGISTRY_WRITE_LOCK_OFFSET), 0);

  ServerProcess server({}, object);
  // Once its flock is shared the server has zeroed the new object; then it
  // waits for the write lock that the other server holds.
  ASSERT_TRUE(wait_until([&] { return holds_shared_flock(server.pid()); }));
  LoopbackListener other_server;
  ASSERT_TRUE(write_publication(other.get(), 0, "Other", htons(other_server.port()), 0));
  struct flock release {};
  release.l_type = F_UNLCK;
  release.l_start = REGISTRY_WRITE_LOCK_OFFSET;
  release.l_len = 1;
  ASSERT_EQ(::fcntl(other.get(), F_OFD_SETLK, &release), 0);

  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  SocketRegistry registry;
  ASSERT_TRUE(read_registry(other.get(), &registry));
  EXPECT_EQ(registry.used, 0b11u);
  EXPECT_STREQ(registry.slots[0].name, "Other");
  EXPECT_EQ(ntohs(registry.slots[0].port), other_server.port());
  EXPECT_STREQ(registry.slots[1].name, "Orvandelcaster");
}

// The write lock cannot be had: the registration fails with the lock's own
// reason, and nothing is published unlocked.
TEST(RegistryTrustEndToEnd, FailedRegistryLockIsAFailedRegistration) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  ServerProcess server({}, object, {WITHOUT_LOCK_WAITS_PATH});
  EXPECT_EQ(server.wait_exit(), 1);
  EXPECT_EQ(server.stderr_text(),
            "Orvandelcaster: cannot lock the registry " + object + ": No locks available\n");
  EXPECT_EQ(view.used(), 0u);
}

// A holder that keeps the registry locked: the wait is reported once after
// five seconds and goes on; the server publishes once the lock is free.
TEST(RegistryTrustEndToEnd, LockHeldTooLongIsReportedOnceAndWaitedFor) {
  std::string object = unique_registry_name();
  platform::UniqueFd holder = open_plainly(object);
  ASSERT_TRUE(holder.valid());
  ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);
  ServerProcess server({}, object);
  const std::string notice =
      "Orvandelcaster: the registry " + object + " is locked by another process\n";
  ASSERT_TRUE(wait_until([&] { return server.stderr_text() == notice; }, 8000))
      << server.stderr_text();
  EXPECT_TRUE(server.running());
  ASSERT_EQ(::flock(holder.get(), LOCK_UN), 0);
  EXPECT_NE(server.wait_for_port(), 0);
  EXPECT_EQ(server.stderr_text(), notice);
}

// The server thread waits for a registry lock that another process keeps (a
// stopped server, say): SIGTERM still ends the process at once with status 0,
// and nothing is published once the lock comes free.
TEST(RegistryTrustEndToEnd, ExitIsNotHeldUpByARegistryLockHeldElsewhere) {
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  platform::UniqueFd other = open_plainly(object);
  ASSERT_TRUE(other.valid());
  ASSERT_EQ(platform::try_lock_byte(other.get(), REGISTRY_WRITE_LOCK_OFFSET), 0);
  ServerProcess server({}, object);
  const std::string notice =
      "Orvandelcaster: the registry " + object + " is locked by another process\n";
  // The notice says the server thread is in the wait, and past its quiet part.
  ASSERT_TRUE(wait_until([&] { return server.stderr_text() == notice; }, 8000))
      << server.stderr_text();
  EXPECT_EQ(server.stop(SIGTERM, 3000), 0);
  other.reset();
  EXPECT_EQ(view.used(), 0u);
  EXPECT_EQ(server.stderr_text(), notice);
}

// Only this machine finds the port, through its own registry: the listener
// answers on 127.0.0.1 and on no other address (127.0.0.2 stands for them).
TEST(RegistryTrustEndToEnd, ListenerAnswersOnlyOn127001) {
  ServerProcess server;
  std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  RawClient elsewhere;
  EXPECT_FALSE(elsewhere.connect_to("127.0.0.2", port));
  RawClient local;
  ASSERT_TRUE(local.connect(port));
  ASSERT_TRUE(local.send_bytes(frame(2, words({300}))));
  expect_reply(local, version_reply());
}

}  // namespace
}  // namespace test_support

namespace test_support {
namespace {

// Back-to-back valid sessions: each leaves a TIME_WAIT remnant on its
// listener's port, since the server closes first. Once they hold every
// ephemeral port the server must still listen. Runs where the range is
// narrowed to a few ports (tests/trust/narrow_ports_test.sh, in a network
// namespace of its own); the clients take ports outside it.
TEST(PortExhaustion, ValidSessionsNeverEndTheServer) {
  const char* range = std::getenv("ORVANDEL_NARROW_PORT_RANGE");
  if (!range) GTEST_SKIP() << "needs a narrowed ip_local_port_range (narrow_ports_test.sh)";
  constexpr int SESSIONS = 100;
  ServerProcess server;
  for (int i = 0; i < SESSIONS; ++i) {
    SCOPED_TRACE(i);
    std::uint16_t port = server.wait_for_port();
    ASSERT_NE(port, 0) << server.stderr_text();
    RawClient client;
    ASSERT_TRUE(client.connect_to("127.0.0.1", port, static_cast<std::uint16_t>(50000 + i)));
    ASSERT_TRUE(client.send_bytes(frame(2, words({300})) + frame(9)));
    expect_reply(client, version_reply());
    expect_closed_silently(client);
  }
  EXPECT_TRUE(server.running());
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support

namespace test_support {
namespace {

// A dead server's slot on the only ephemeral port there is: the probe that
// asks whether the port answers can take no other source port and connects
// to itself. That is nobody listening, so the restart withdraws the slot,
// publishes itself and is served. Runs in a network namespace whose range is
// that one port (tests/trust/narrow_ports_test.sh).
TEST(SelfConnect, StaleSlotOnTheOnlyEphemeralPortIsReclaimed) {
  const char* only_port = std::getenv("ORVANDEL_ONLY_EPHEMERAL_PORT");
  if (!only_port) GTEST_SKIP() << "needs an ip_local_port_range of one port (narrow_ports_test.sh)";
  const auto port = static_cast<std::uint16_t>(std::atoi(only_port));
  std::string object = unique_registry_name();
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  // In slot 3, so that the restart's publication (slot 0) tells when it is done.
  view.occupy(3, "Orvandelcaster", port);

  ServerProcess server({}, object);
  ASSERT_TRUE(wait_until([&] { return view.used() == 1u || !server.running(); }))
      << "used " << view.used();
  ASSERT_EQ(view.used(), 1u) << server.stderr_text();
  EXPECT_STREQ(view.slot(0).name, "Orvandelcaster");
  RawClient client;
  ASSERT_TRUE(client.connect_to("127.0.0.1", ntohs(view.slot(0).port), 50000));
  ASSERT_TRUE(client.send_bytes(frame(2, words({300})) + frame(9)));
  expect_reply(client, version_reply());
  expect_closed_silently(client);
  EXPECT_EQ(server.stderr_text(), "");
}

}  // namespace
}  // namespace test_support
