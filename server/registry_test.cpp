#include "server/registry.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake_shared_memory.h"
#include "platform/net.h"
#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "protocol/registry_io.h"
#include "protocol/registry_layout.h"
#include "server/listener.h"
#include "server/process.h"
#include "tests/support/server_process.h"

namespace {

class SharedRegistry : public ::testing::Test {
 protected:
  void SetUp() override { set_registry_object_name(m_name.c_str()); }
  void TearDown() override {
    set_registry_object_name(nullptr);
    test_support::remove_registry(m_name);
  }
  std::string m_name = test_support::unique_registry_name();
};

TEST_F(SharedRegistry, ExistsWhileSomeoneHoldsIt) {
  bool existed = true;
  platform::UniqueFd first(open_registry_object(m_name.c_str(), &existed, nullptr, nullptr));
  ASSERT_TRUE(first.valid());
  EXPECT_FALSE(existed);
  const std::uint32_t seven = 7;
  ASSERT_TRUE(platform::write_shared(first.get(), &seven, sizeof seven, 0));
  // Meeting another holder is no failure: the caller's errno stays as it was,
  // so a later report names the real cause.
  errno = 0;
  platform::UniqueFd second(open_registry_object(m_name.c_str(), &existed, nullptr, nullptr));
  ASSERT_TRUE(second.valid());
  EXPECT_TRUE(existed);
  EXPECT_EQ(errno, 0);
  SocketRegistry registry;
  ASSERT_TRUE(read_registry(second.get(), &registry));
  EXPECT_EQ(registry.used, 7u);
}

TEST_F(SharedRegistry, LeftOverObjectCountsAsNewAndIsZeroed) {
  {
    // What a crashed holder leaves: a short file full of junk, held by nobody.
    platform::UniqueFd junk(::shm_open(m_name.c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_TRUE(junk.valid());
    std::string bytes(1000, '\xAB');
    ASSERT_EQ(::write(junk.get(), bytes.data(), bytes.size()), 1000);
  }
  bool existed = true;
  platform::UniqueFd fd(open_registry_object(m_name.c_str(), &existed, nullptr, nullptr));
  ASSERT_TRUE(fd.valid());
  EXPECT_FALSE(existed);
  unsigned char bytes[REGISTRY_OBJECT_SIZE];
  ASSERT_EQ(::pread(fd.get(), bytes, sizeof bytes, 0), static_cast<ssize_t>(sizeof bytes));
  for (std::size_t i = 0; i < REGISTRY_OBJECT_SIZE; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

// Readers take no lock and test the bit before they read the slot, so the
// order of the server's writes is what keeps them from a half-written entry: a
// publication writes the name, then the port, then sets the bit; a withdrawal
// clears the name's first byte, then the port, then the bit.
TEST_F(SharedRegistry, PublicationAndWithdrawalWriteInTheirOrder) {
  g_sockets_ready = 1;
  platform::RecordingSharedBytes recorder;
  platform::UniqueSocket listener(open_registry_listener("Orvandelcaster"));
  ASSERT_TRUE(listener.valid());
  ASSERT_EQ(withdraw_registration("Orvandelcaster"), 0);

  std::uint16_t net_port = 0;
  ASSERT_EQ(platform::net().local_port(listener.get(), &net_port), 0);
  const off_t name_at = offsetof(SocketRegistry, slots);  // slot 0: a fresh registry
  const off_t port_at = name_at + static_cast<off_t>(offsetof(RegistrySlot, port));
  auto bytes = [](const auto& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
  };
  const std::uint32_t with_bit = 1, without_bit = 0;
  const std::uint16_t no_port = 0;
  const std::vector<std::pair<off_t, std::string>> expected = {
      {name_at, std::string("Orvandelcaster", 15)},
      {port_at, bytes(net_port)},
      {0, bytes(with_bit)},
      {name_at, std::string(1, '\0')},
      {port_at, bytes(no_port)},
      {0, bytes(without_bit)},
  };
  std::vector<std::pair<off_t, std::string>> written;
  for (const auto& write : recorder.writes()) {
    // The page zeroed when the registry was new is no publication.
    if (write.bytes.size() == REGISTRY_OBJECT_SIZE) continue;
    written.emplace_back(write.offset, write.bytes);
  }
  EXPECT_EQ(written, expected);
}

// Another process of the same user may cut the object short at any moment:
// reading and writing it then never raises a signal.
TEST_F(SharedRegistry, ShortenedObjectReadsAsZerosAndIsWritable) {
  bool existed = true;
  platform::UniqueFd fd(open_registry_object(m_name.c_str(), &existed, nullptr, nullptr));
  ASSERT_TRUE(fd.valid());
  ASSERT_TRUE(write_publication(fd.get(), 0, "Orvandelcaster", htons(1), 0));
  ASSERT_EQ(::ftruncate(fd.get(), 0), 0);
  SocketRegistry registry;
  ASSERT_TRUE(read_registry(fd.get(), &registry));
  EXPECT_EQ(registry.used, 0u);
  ASSERT_EQ(platform::extend_shared(fd.get(), REGISTRY_OBJECT_SIZE), 0);
  struct stat st {};
  ASSERT_EQ(::fstat(fd.get(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(REGISTRY_OBJECT_SIZE));
}

}  // namespace
