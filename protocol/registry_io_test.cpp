#include "protocol/registry_io.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/unique_fd.h"
#include "tests/support/server_process.h"

namespace {

// What other processes see of a publication and a withdrawal: the bytes of
// the layout, byte orders included.
TEST(RegistryIo, PublicationAndWithdrawalWriteTheLayout) {
  const std::string name = test_support::unique_registry_name();
  bool existed = true;
  platform::UniqueFd fd(open_registry_object(name.c_str(), &existed, nullptr, nullptr));
  ASSERT_TRUE(fd.valid());
  EXPECT_FALSE(existed);
  ASSERT_TRUE(write_publication(fd.get(), 3, "Orvandelcaster", htons(4242), 1u));
  unsigned char bytes[sizeof(SocketRegistry)];
  ASSERT_EQ(::pread(fd.get(), bytes, sizeof bytes, 0), static_cast<ssize_t>(sizeof bytes));
  EXPECT_EQ(bytes[0], 0b1001) << "used, little-endian";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 4 + 110 * 3)), "Orvandelcaster");
  EXPECT_EQ(bytes[4 + 110 * 3 + 108], 4242 >> 8) << "port high byte first";
  EXPECT_EQ(bytes[4 + 110 * 3 + 109], 4242 & 0xFF);
  SocketRegistry registry;
  ASSERT_TRUE(read_registry(fd.get(), &registry));
  EXPECT_EQ(find_publication(registry, "Orvandelcaster", htons(4242)), 3);
  EXPECT_EQ(find_publication(registry, "Orvandelcaster", htons(4243)), -1);

  ASSERT_TRUE(write_withdrawal(fd.get(), 3, registry.used));
  ASSERT_TRUE(read_registry(fd.get(), &registry));
  EXPECT_EQ(registry.used, 1u);
  EXPECT_EQ(registry.slots[3].name[0], '\0');
  EXPECT_STREQ(registry.slots[3].name + 1, "rvandelcaster") << "only the first byte goes";
  EXPECT_EQ(registry.slots[3].port, 0);
  test_support::remove_registry(name);
}

}  // namespace
