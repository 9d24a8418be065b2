#include "platform/folder_watch.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace platform {
namespace {

// Whether fd becomes readable within 1 s.
bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 1000) == 1;
}

TEST(FolderWatch, NoticesEachKindOfChangeAndAFolderMadeLater) {
  char pattern[] = "/tmp/orvandel-folder-watch.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path root(pattern);
  const std::filesystem::path later = root / "config" / "orvandelcaster";
  FolderWatch watch({root.string(), later.string()});
  ASSERT_GE(watch.descriptor(), 0);
  EXPECT_FALSE(watch.drain()) << "a change before any was made";

  const std::filesystem::path node = root / "event3";
  const std::filesystem::path settings = later / "settings.conf";
  struct Step {
    const char* what;
    void (*make)(const std::filesystem::path& node, const std::filesystem::path& settings);
  };
  const Step steps[] = {
      {"node made", [](auto& n, auto&) { std::ofstream{n}; }},
      {"permissions changed", [](auto& n, auto&) { ::chmod(n.c_str(), 0600); }},
      {"node removed", [](auto& n, auto&) { std::filesystem::remove(n); }},
      {"settings folder made", [](auto&, auto& s) { std::filesystem::create_directories(s.parent_path()); }},
      {"settings written", [](auto&, auto& s) { std::ofstream{s} << "joystick = pad\n"; }},
  };
  for (const Step& step : steps) {
    step.make(node, settings);
    EXPECT_TRUE(readable(watch.descriptor()) && watch.drain()) << step.what;
    EXPECT_FALSE(watch.drain()) << step.what << ": a change left pending";
  }
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace platform
