// The publication while the server waits for a client: lost to another
// process of ours and made again, withdrawn while no port is free and back
// once one is, and a failure line that names an object from the environment
// on one line that keeps its reason.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

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

constexpr char SERVER[] = "Orvandelcaster";

// One session on port: version, end. The system chooses the source port
// unless one is given (only in a private namespace: on the machine, a fixed
// one may be held by any other socket).
void expect_served(std::uint16_t port, std::uint16_t source_port = 0) {
  RawClient client;
  ASSERT_TRUE(client.connect_to("127.0.0.1", port, source_port));
  ASSERT_TRUE(client.send_bytes(frame(2, words({300})) + frame(9)));
  expect_reply(client, version_reply());
  expect_closed_silently(client);
}

// The server's port in the registry as read through fd with pread (a view
// would extend a registry cut short, doing the server's work for it); 0 when
// the name is not published there.
std::uint16_t port_in(int fd) {
  SocketRegistry registry;
  if (!read_registry(fd, &registry)) return 0;
  int slot = find_slot(registry, SERVER);
  return slot < 0 ? 0 : ntohs(registry.slots[slot].port);
}

// Another process of ours rewrites or cuts the registry while the server waits
// for a client: within about a second the same port is published again, in a
// slot claimed from the registry as it is now, said in one line, and served.
TEST(PublicationHealing, LostPublicationIsMadeAgainWithTheSamePort) {
  struct Loss {
    const char* what;
    std::function<bool(int fd)> lose;
    int slot_after;  // where the publication is made again
  };
  const SocketRegistry zeros{};
  const Loss losses[] = {
      {"overwritten with zeros",
       [&](int fd) { return ::pwrite(fd, &zeros, sizeof zeros, 0) == sizeof zeros; }, 0},
      {"cut to nothing", [](int fd) { return ::ftruncate(fd, 0) == 0; }, 0},
      // Our slot now holds another server's publication: that one stays.
      {"our slot given to another server",
       [&](int fd) {
         SocketRegistry other = zeros;
         other.used = 1;
         std::copy_n("Other", 6, other.slots[0].name);
         other.slots[0].port = htons(1234);
         return ::pwrite(fd, &other, sizeof other, 0) == sizeof other;
       },
       1},
  };
  for (const Loss& loss : losses) {
    SCOPED_TRACE(loss.what);
    ServerProcess server;
    const std::uint16_t port = server.wait_for_port();
    ASSERT_NE(port, 0);
    platform::UniqueFd plain(::shm_open(server.registry().c_str(), O_RDWR | O_CLOEXEC, 0));
    ASSERT_TRUE(plain.valid());
    ASSERT_TRUE(loss.lose(plain.get()));

    ASSERT_TRUE(wait_until([&] { return port_in(plain.get()) != 0; }, 3000))
        << server.stderr_text();
    EXPECT_EQ(port_in(plain.get()), port);
    SocketRegistry registry;
    ASSERT_TRUE(read_registry(plain.get(), &registry));
    EXPECT_STREQ(registry.slots[loss.slot_after].name, SERVER);
    if (loss.slot_after == 1) {
      EXPECT_STREQ(registry.slots[0].name, "Other");
      EXPECT_EQ(registry.used, 0b11u);
    }
    struct stat st {};
    ASSERT_EQ(::fstat(plain.get(), &st), 0);
    EXPECT_EQ(st.st_size, static_cast<off_t>(REGISTRY_OBJECT_SIZE));
    expect_served(port);
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.stderr_text(), "Orvandelcaster: the registry " + server.registry() +
                                        " lost our publication; published again\n");
  }
}

// The registry removed while the server waits (by hand, or by a logout's
// clean-up of the user's objects): the server makes it again and publishes the
// same port there; a mode widened on it is narrowed at the next check. When
// another instance holds the new registry's instance lock, the server ends as
// a second start would.
TEST(PublicationHealing, RemovedRegistryIsMadeAgainOrLeftToTheOtherInstance) {
  ServerProcess server;
  const std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  const std::string object = server.registry();
  {
    platform::UniqueFd held(::shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0));
    ASSERT_TRUE(held.valid());
    ASSERT_EQ(::fchmod(held.get(), 0666), 0);
    struct stat st {};
    ASSERT_TRUE(wait_until(
        [&] { return ::fstat(held.get(), &st) == 0 && (st.st_mode & 0777) == 0600; }, 3000));
  }
  ASSERT_EQ(::shm_unlink(object.c_str()), 0);
  platform::UniqueFd fresh;
  ASSERT_TRUE(wait_until(
      [&] {
        fresh.reset(::shm_open(object.c_str(), O_RDONLY | O_CLOEXEC, 0));
        return fresh.valid() && port_in(fresh.get()) == port;
      },
      3000))
      << server.stderr_text();
  expect_served(port);
  EXPECT_EQ(server.stderr_text(), "Orvandelcaster: the registry " + object +
                                      " lost our publication; published again\n");

  // Removed again, and made anew by another instance that holds its lock.
  ASSERT_EQ(::shm_unlink(object.c_str()), 0);
  platform::UniqueFd other(::shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  ASSERT_TRUE(other.valid());
  ASSERT_EQ(::ftruncate(other.get(), REGISTRY_OBJECT_SIZE), 0);
  struct flock instance {};
  instance.l_type = F_WRLCK;
  instance.l_whence = SEEK_SET;
  instance.l_start = instance_lock_offset(SERVER);
  instance.l_len = 1;
  ASSERT_EQ(::fcntl(other.get(), F_OFD_SETLK, &instance), 0);
  EXPECT_EQ(server.wait_exit(3000), 1);
  const std::string text = server.stderr_text();
  EXPECT_EQ(text.substr(text.find('\n') + 1), "Orvandelcaster: already running\n");
  EXPECT_EQ(port_in(other.get()), 0);
  remove_registry(object);
}

// A failure line naming a registry object from the environment: a line feed
// in its name starts no line of its own, and a long name is shortened in the
// middle so that the reason still ends the line.
TEST(FailureLines, ObjectNameNeitherBreaksNorCutsTheLine) {
  const std::string unique = unique_registry_name();
  const std::string object = unique + "\nOrvandelcaster: fake line" + std::string(150, 'x');
  RegistryView view(object);
  ASSERT_TRUE(view.ok());
  for (int i = 0; i < REGISTRY_SLOTS; ++i) view.occupy(i, "Other " + std::to_string(i), 1);
  ServerProcess server({}, object);
  EXPECT_EQ(server.wait_exit(), 1);
  const std::string text = server.stderr_text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  const std::string start = "Orvandelcaster: all 32 slots of the registry " + unique +
                            "\\x0aOrvandelcaster: fake linexxx";
  EXPECT_EQ(text.substr(0, start.size()), start) << text;
  EXPECT_NE(text.find("x\xe2\x80\xa6x"), std::string::npos) << "shortened in the middle: " << text;
  const std::string end = "xxx are in use: No space left on device\n";
  ASSERT_GE(text.size(), end.size());
  EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
  remove_registry(object);
}

}  // namespace
}  // namespace test_support

namespace test_support {
namespace {

// A socket listening on 127.0.0.1:port, as another process holding ports
// would; SO_REUSEADDR, so that a port whose connection goes on can be taken.
platform::UniqueFd hold_port(std::uint16_t port) {
  platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (!fd.valid() || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
      ::listen(fd.get(), 5) < 0) {
    return platform::UniqueFd();
  }
  return fd;
}

// Every port of the ephemeral range held by listeners of another process, the
// server's previous port too: after the session the server cannot listen. It
// says so once, stays up with its name withdrawn, and is back once ports are
// free. Runs where the range is narrowed to a few ports
// (tests/trust/narrow_ports_test.sh, in a network namespace of its own).
TEST(NoFreePort, EveryPortHeldElsewhereIsWaitedOut) {
  const char* range = std::getenv("ORVANDEL_NARROW_PORT_RANGE");
  if (!range) GTEST_SKIP() << "needs a narrowed ip_local_port_range (narrow_ports_test.sh)";
  char* rest = nullptr;
  const auto low = static_cast<std::uint16_t>(std::strtoul(range, &rest, 10));
  const auto high = static_cast<std::uint16_t>(std::strtoul(rest, nullptr, 10));
  ASSERT_LE(low, high);

  ServerProcess server;
  const std::uint16_t port = server.wait_for_port();
  ASSERT_NE(port, 0);
  std::vector<platform::UniqueFd> held;
  for (std::uint16_t other = low; other <= high; ++other) {
    if (other == port) continue;
    held.push_back(hold_port(other));
    ASSERT_TRUE(held.back().valid()) << "port " << other;
  }
  {
    RawClient client;
    ASSERT_TRUE(client.connect_to("127.0.0.1", port, 50200));
    ASSERT_TRUE(client.send_bytes(frame(2, words({300}))));
    expect_reply(client, version_reply());
    // Accepted: its listener is gone, so its port can be held as well.
    held.push_back(hold_port(port));
    ASSERT_TRUE(held.back().valid());
    ASSERT_TRUE(client.send_bytes(frame(9)));
    expect_closed_silently(client);
  }
  const std::string line =
      "Orvandelcaster: cannot listen for clients on 127.0.0.1: Address already in use; "
      "trying again every second\n";
  ASSERT_TRUE(wait_until([&] { return server.stderr_text() == line || !server.running(); }, 5000))
      << server.stderr_text();
  ASSERT_TRUE(server.running()) << server.stderr_text();
  // Two more tries at least: no second line, no exit, the name withdrawn.
  EXPECT_FALSE(wait_until(
      [&] {
        return !server.running() || server.published_port() != 0 || server.stderr_text() != line;
      },
      2500));

  held.clear();
  const std::uint16_t back = server.wait_for_port(5000);
  ASSERT_NE(back, 0) << server.stderr_text();
  expect_served(back, 50201);
  EXPECT_TRUE(server.running());
  EXPECT_EQ(server.stderr_text(), line);
}

}  // namespace
}  // namespace test_support
