#include "protocol/registry_layout.h"

#include <gtest/gtest.h>

namespace {

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
