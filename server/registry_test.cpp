#include "server/registry.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/shared_memory.h"
#include "platform/unique_fd.h"
#include "tests/support/server_process.h"

namespace {

// A registry as other processes may leave it, in a block of exactly its size
// so that AddressSanitizer catches any read past the last slot.
std::unique_ptr<SocketRegistry> registry_with(std::initializer_list<int> used_slots,
                                              const char* stale_name = "stale") {
  auto registry = std::make_unique<SocketRegistry>();
  std::memset(registry.get(), 0, sizeof *registry);
  for (int i = 0; i < REGISTRY_SLOTS; ++i) {
    std::strcpy(registry->slots[i].name, stale_name);
    registry->slots[i].port = htons(static_cast<std::uint16_t>(1000 + i));
  }
  for (int i : used_slots) {
    std::snprintf(registry->slots[i].name, REGISTRY_NAME_SIZE, "other%d", i);
    registry->used |= 1u << i;
  }
  return registry;
}

TEST(Registry, ClaimTakesTheLowestFreeSlotAndBlanksEveryFreeName) {
  auto registry = registry_with({0, 2});
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), 1);
  for (int i : {1, 3, 4, 31}) EXPECT_EQ(registry->slots[i].name[0], '\0') << "slot " << i;
  EXPECT_STREQ(registry->slots[0].name, "other0");
  EXPECT_STREQ(registry->slots[2].name, "other2");
  EXPECT_EQ(registry->used, 0b101u) << "claiming publishes nothing yet";
}

TEST(Registry, NameInUseIsRefusedAndTheScanStopsThere) {
  auto registry = registry_with({5});
  std::strcpy(registry->slots[5].name, "Orvandelcaster");
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(registry->slots[i].name[0], '\0') << "slot " << i;
  for (int i = 6; i < REGISTRY_SLOTS; ++i) EXPECT_STREQ(registry->slots[i].name, "stale");
  EXPECT_EQ(registry->used, 1u << 5);
}

TEST(Registry, AllSlotsInUseIsRefused) {
  auto registry = registry_with({});
  registry->used = 0xFFFFFFFFu;
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), -1);
}

TEST(Registry, NamesCompareExactlyWithinTheSlot) {
  auto registry = registry_with({0, 1, 31});
  std::strcpy(registry->slots[0].name, "orvandelcaster");
  std::strcpy(registry->slots[1].name, "Orvandelcaster ");
  // A slot written without a terminating zero is never read past its 108 bytes.
  std::memset(registry->slots[31].name, 'O', REGISTRY_NAME_SIZE);
  EXPECT_EQ(find_slot(registry.get(), "Orvandelcaster"), -1);
  EXPECT_EQ(find_slot(registry.get(), std::string(107, 'O').c_str()), -1);
  EXPECT_EQ(find_slot(registry.get(), std::string(108, 'O').c_str()), -1);
  EXPECT_EQ(claim_free_slot(registry.get(), std::string(107, 'O').c_str()), 2);
  EXPECT_EQ(find_slot(registry.get(), "orvandelcaster"), 0);
}

TEST(Registry, PublishThenClearKeepsTheSlotLayout) {
  auto registry = registry_with({0});
  publish_slot(registry.get(), 3, "Orvandelcaster", htons(4242));
  EXPECT_EQ(registry->used, 0b1001u);
  EXPECT_EQ(find_slot(registry.get(), "Orvandelcaster"), 3);
  const auto* bytes = reinterpret_cast<const unsigned char*>(registry.get());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 4 + 110 * 3)), "Orvandelcaster");
  EXPECT_EQ(bytes[4 + 110 * 3 + 108], 4242 >> 8) << "port high byte first";
  EXPECT_EQ(bytes[4 + 110 * 3 + 109], 4242 & 0xFF);

  clear_slot(registry.get(), 3);
  EXPECT_EQ(registry->used, 1u);
  EXPECT_EQ(registry->slots[3].name[0], '\0');
  EXPECT_EQ(registry->slots[3].port, 0);
  EXPECT_EQ(find_slot(registry.get(), "Orvandelcaster"), -1);
}

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
  platform::UniqueFd first(open_registry(&existed));
  ASSERT_TRUE(first.valid());
  EXPECT_FALSE(existed);
  {
    platform::MappedRegion view(first.get(), REGISTRY_OBJECT_SIZE);
    static_cast<SocketRegistry*>(view.get())->used = 7;
  }
  // Meeting another holder is no failure: the caller's errno stays as it was,
  // so a later report names the real cause.
  errno = 0;
  platform::UniqueFd second(open_registry(&existed));
  ASSERT_TRUE(second.valid());
  EXPECT_TRUE(existed);
  EXPECT_EQ(errno, 0);
  platform::MappedRegion view(second.get(), REGISTRY_OBJECT_SIZE);
  EXPECT_EQ(static_cast<SocketRegistry*>(view.get())->used, 7u);
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
  platform::UniqueFd fd(open_registry(&existed));
  ASSERT_TRUE(fd.valid());
  EXPECT_FALSE(existed);
  platform::MappedRegion view(fd.get(), REGISTRY_OBJECT_SIZE);
  const auto* bytes = static_cast<const unsigned char*>(view.get());
  ASSERT_NE(bytes, nullptr);
  for (std::size_t i = 0; i < REGISTRY_OBJECT_SIZE; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

}  // namespace
