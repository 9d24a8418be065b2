#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

namespace {

TEST(ErrorText, SocketErrorsReadAsOnLinux) {
  EXPECT_STREQ(platform::error_text(ECONNREFUSED), "Connection refused");
  EXPECT_STREQ(platform::error_text(EPROTO), "Protocol error");
  EXPECT_STREQ(platform::error_text(EMSGSIZE), "Message too long");
  EXPECT_STREQ(platform::error_text(EADDRINUSE), "Address already in use");
  EXPECT_STREQ(platform::error_text(ECONNRESET), "Connection reset by peer");
  EXPECT_STREQ(platform::error_text(ENOENT), "No such file or directory");
}

TEST(ErrorText, NoTextForZeroNegativeOrUnknownNumbers) {
  EXPECT_EQ(platform::error_text(0), nullptr);
  EXPECT_EQ(platform::error_text(-1), nullptr);
  EXPECT_EQ(platform::error_text(99999), nullptr);
  EXPECT_STREQ(platform::error_text_or_number(99999), "Unknown error 99999");
  EXPECT_STREQ(platform::error_text_or_number(EPIPE), "Broken pipe");
}

TEST(ErrorText, EveryNumberOfTheTableHasOneText) {
  int count = 0;
  const platform::ErrorText* table = platform::error_texts(&count);
  ASSERT_GT(count, 40);
  std::set<int> seen;
  for (int i = 0; i < count; ++i) {
    EXPECT_TRUE(seen.insert(table[i].error).second) << "twice: " << table[i].text;
    EXPECT_STREQ(platform::error_text(table[i].error), table[i].text);
  }
}

#ifndef _WIN32
// Our own texts are the C library's word for word; here they can be compared.
TEST(ErrorText, TableHoldsTheGnuCLibraryWords) {
  int count = 0;
  const platform::ErrorText* table = platform::error_texts(&count);
  for (int i = 0; i < count; ++i) {
    EXPECT_STREQ(table[i].text, strerrordesc_np(table[i].error)) << "errno " << table[i].error;
  }
}
#endif

}  // namespace
