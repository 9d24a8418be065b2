#include "protocol/registry_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/outside_text.h"
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

// What stands in the registry's place, or a name that can be no object: the
// server's opener and a reader's say the same line, one that tells what to do
// and never advises removing what a bad name would point at.
TEST(RegistryIo, RefusalsSayWhatIsWrongAndWhatToDo) {
  const std::string unique = test_support::unique_registry_name();
  const std::string place = "/dev/shm" + unique;
  const std::string not_a_file =
      "the registry " + unique + " is not a regular file; remove " + place + " and start again";
  platform::UniqueFd socket_fd;
  struct Shape {
    const char* what;
    std::function<bool()> make;
  };
  const Shape shapes[] = {
      {"our symbolic link to our file",
       [&] {
         platform::UniqueFd target(::open((place + ".target").c_str(),
                                          O_CREAT | O_WRONLY | O_CLOEXEC, 0666));
         return target.valid() && ::symlink((place + ".target").c_str(), place.c_str()) == 0;
       }},
      {"a dangling symbolic link",
       [&] { return ::symlink((place + ".nothing").c_str(), place.c_str()) == 0; }},
      {"a Unix socket",
       [&] {
         socket_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strncpy(address.sun_path, place.c_str(), sizeof address.sun_path - 1);
         return ::bind(socket_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
       }},
      {"our directory", [&] { return ::mkdir(place.c_str(), 0700) == 0; }},
      {"a FIFO", [&] { return ::mkfifo(place.c_str(), 0600) == 0; }},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    ASSERT_TRUE(shape.make());
    for (bool server : {true, false}) {
      bool existed = false;
      std::string why;
      platform::UniqueFd fd(
          server ? open_registry_object(unique.c_str(), &existed, &why, nullptr)
                 : open_registry_object_for_reading(unique.c_str(), &existed, &why, nullptr));
      EXPECT_FALSE(fd.valid());
      EXPECT_EQ(why, not_a_file) << (server ? "server" : "reader");
    }
    ::unlink(place.c_str());
    ::rmdir(place.c_str());
    ::unlink((place + ".target").c_str());
  }

  for (const std::string& name : {std::string("/"), std::string("/."), std::string("/.."),
                                  std::string("/a/b"), "/" + std::string(256, 'a')}) {
    SCOPED_TRACE(name);
    for (bool server : {true, false}) {
      bool existed = false;
      std::string why;
      platform::UniqueFd fd(
          server ? open_registry_object(name.c_str(), &existed, &why, nullptr)
                 : open_registry_object_for_reading(name.c_str(), &existed, &why, nullptr));
      EXPECT_FALSE(fd.valid());
      EXPECT_EQ(why, "the registry " + platform::printable_outside_text(name) +
                         " is not a usable name for a shared-memory object "
                         "(ORVANDELCASTER_REGISTRY)")
          << (server ? "server" : "reader");
    }
  }
}

}  // namespace
