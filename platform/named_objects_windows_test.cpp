// The registry's kernel objects against the real system (Wine in CI).

#include "platform/named_objects_windows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string unique_name(const char* what) {
  return "/orvandel-test-" + std::to_string(::GetCurrentProcessId()) + "-" + what;
}

TEST(SessionObjectName, LocalToTheSessionWithoutTheLeadingSlash) {
  EXPECT_EQ(platform::session_object_name("/orvandel-test-1"), "Local\\orvandel-test-1");
  EXPECT_EQ(platform::session_object_name("Capture_Unix_Socket_Share"),
            "Local\\Capture_Unix_Socket_Share");
  EXPECT_EQ(platform::session_object_name("a\\b"), "Local\\a_b");
}

TEST(NamedMapping, ExistsWhileHeldAndStartsZeroed) {
  const std::string name = unique_name("mapping");
  {
    platform::NamedMapping first;
    bool existed = true;
    ASSERT_EQ(first.open(name.c_str(), 4096, &existed), 0);
    EXPECT_FALSE(existed);
    ASSERT_GE(first.size(), 4096u);
    const auto* bytes = static_cast<const unsigned char*>(first.view());
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
    std::memcpy(first.view(), "published", 10);

    platform::NamedMapping second;
    ASSERT_EQ(second.open(name.c_str(), 4096, &existed), 0);
    EXPECT_TRUE(existed);
    EXPECT_STREQ(static_cast<const char*>(second.view()), "published");
  }
  // The last handle took the object with it: the next opener makes a new one.
  platform::NamedMapping again;
  bool existed = true;
  ASSERT_EQ(again.open(name.c_str(), 4096, &existed), 0);
  EXPECT_FALSE(existed);
  EXPECT_EQ(static_cast<const char*>(again.view())[0], '\0');
}

TEST(NamedMutex, ExcludesOthersAndIsReleasedWhenItsHolderEnds) {
  const std::string kernel_name = platform::session_object_name(unique_name("mutex").c_str());
  EXPECT_EQ(platform::mutex_held_elsewhere(kernel_name.c_str()), 0);

  // A holder that ends without releasing, as a process that crashed would.
  HANDLE holder_ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE holder_may_end = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, kernel_name.c_str());
    ::WaitForSingleObject(mutex, INFINITE);
    ::SetEvent(holder_ready);
    ::WaitForSingleObject(holder_may_end, INFINITE);
  });
  ::WaitForSingleObject(holder_ready, INFINITE);

  EXPECT_EQ(platform::mutex_held_elsewhere(kernel_name.c_str()), 1);
  platform::NamedMutex second;
  errno = 0;
  EXPECT_EQ(second.lock(kernel_name.c_str(), 0), -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_FALSE(second.held());

  ::SetEvent(holder_may_end);
  holder.join();
  ASSERT_EQ(second.lock(kernel_name.c_str(), 2000), 0);
  EXPECT_TRUE(second.held());
  // Held by this very thread: not elsewhere.
  EXPECT_EQ(platform::mutex_held_elsewhere(kernel_name.c_str()), 0);
  second.unlock();
  EXPECT_FALSE(second.held());
  ::CloseHandle(holder_ready);
  ::CloseHandle(holder_may_end);
}

}  // namespace
