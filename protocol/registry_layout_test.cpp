#include "protocol/registry_layout.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

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

TEST(RegistryLayout, ClaimTakesTheLowestFreeSlotAndBlanksEveryFreeName) {
  auto registry = registry_with({0, 2});
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), 1);
  for (int i : {1, 3, 4, 31}) EXPECT_EQ(registry->slots[i].name[0], '\0') << "slot " << i;
  EXPECT_STREQ(registry->slots[0].name, "other0");
  EXPECT_STREQ(registry->slots[2].name, "other2");
  EXPECT_EQ(registry->used, 0b101u) << "claiming publishes nothing yet";
}

TEST(RegistryLayout, NameInUseIsRefusedAndTheScanStopsThere) {
  auto registry = registry_with({5});
  std::strcpy(registry->slots[5].name, "Orvandelcaster");
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(registry->slots[i].name[0], '\0') << "slot " << i;
  for (int i = 6; i < REGISTRY_SLOTS; ++i) EXPECT_STREQ(registry->slots[i].name, "stale");
  EXPECT_EQ(registry->used, 1u << 5);
}

TEST(RegistryLayout, AllSlotsInUseIsRefused) {
  auto registry = registry_with({});
  registry->used = 0xFFFFFFFFu;
  EXPECT_EQ(claim_free_slot(registry.get(), "Orvandelcaster"), -1);
}

TEST(RegistryLayout, NamesCompareExactlyWithinTheSlot) {
  auto registry = registry_with({0, 1, 31});
  std::strcpy(registry->slots[0].name, "orvandelcaster");
  std::strcpy(registry->slots[1].name, "Orvandelcaster ");
  // A slot written without a terminating zero is never read past its 108 bytes.
  std::memset(registry->slots[31].name, 'O', REGISTRY_NAME_SIZE);
  EXPECT_EQ(find_slot(*registry, "Orvandelcaster"), -1);
  EXPECT_EQ(find_slot(*registry, std::string(107, 'O').c_str()), -1);
  EXPECT_EQ(find_slot(*registry, std::string(108, 'O').c_str()), -1);
  EXPECT_EQ(claim_free_slot(registry.get(), std::string(107, 'O').c_str()), 2);
  EXPECT_EQ(find_slot(*registry, "orvandelcaster"), 0);
}

// Every program that serves or looks up "Orvandelcaster" (servers, clients,
// tools, builds for other systems, older releases) locks this byte to claim or
// test the one live server. Two programs that computed different offsets would
// both believe they are alone, so the value is fixed once and for all: a
// change to the hash, its seed or the base offset must fail here.
TEST(RegistryLayout, InstanceLockOffsetOfOurNameNeverChanges) {
  EXPECT_EQ(instance_lock_offset("Orvandelcaster"), off_t{521897429397});
}

// The instance lock of a name sits past the page, where no registry byte is,
// and two names do not share it.
TEST(RegistryLayout, InstanceLockOffsetsLiePastThePage) {
  EXPECT_GE(instance_lock_offset(""), static_cast<off_t>(REGISTRY_OBJECT_SIZE));
  EXPECT_NE(instance_lock_offset("Orvandelcaster"), instance_lock_offset("orvandelcaster"));
}

}  // namespace
