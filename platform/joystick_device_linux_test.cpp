#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/joystick_device.h"
#include "tests/support/scoped_variable.h"

namespace platform {
namespace {

// The window's reader is told when the settings changed; the server's
// sampling, with a reader of its own, must follow it at its next reading.
TEST(LinuxJoystickReader, LookingAgainMakesEveryReaderTakeTheChoiceAnew) {
  test_support::ScopedVariable choice(JOYSTICK_VARIABLE, "/nonexistent/first");
  auto sampling = joystick_device().open_reader();
  auto window = joystick_device().open_reader();
  JoystickState state{};
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/first");

  ::setenv(JOYSTICK_VARIABLE, "/nonexistent/second", 1);
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/first") << "taken anew unasked";
  window->look_again();
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/second");
  EXPECT_EQ(sampling->status().state, JoystickStatus::State::NOT_FOUND);
}

// A settings file kept elsewhere behind a link (dotfiles) is edited there:
// both folders are watched.
TEST(LinuxJoystickDevice, WatchesTheFolderOfALinkedSettingsFilesTarget) {
  char made[] = "/tmp/linked-settings-XXXXXX";
  ASSERT_NE(::mkdtemp(made), nullptr);
  const std::filesystem::path root(made);
  std::filesystem::create_directories(root / "config/orvandelcaster");
  std::filesystem::create_directories(root / "dotfiles");
  std::ofstream(root / "dotfiles/settings.conf") << "joystick = /nonexistent\n";
  std::filesystem::create_symlink(root / "dotfiles/settings.conf",
                                  root / "config/orvandelcaster/settings.conf");
  test_support::ScopedVariable config_home("XDG_CONFIG_HOME", (root / "config").c_str());
  const std::vector<std::string> folders = joystick_device().watched_folders();
  EXPECT_NE(std::find(folders.begin(), folders.end(), (root / "config/orvandelcaster").string()),
            folders.end());
  EXPECT_NE(std::find(folders.begin(), folders.end(), (root / "dotfiles").string()), folders.end());
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace platform
