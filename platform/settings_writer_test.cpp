#include "platform/settings_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fake_input_tree.h"

namespace platform {
namespace {

TEST(SettingsWriter, ChangesOnlyTheLinesOfItsKeys) {
  const SettingChange set_x{"x", "-ABS_RX"};
  const SettingChange remove_x{"x", std::nullopt};
  struct Row {
    const char* what;
    const char* before;
    std::vector<SettingChange> changes;
    const char* after;
  } rows[] = {
      {"a new file", "", {set_x}, "x = -ABS_RX\n"},
      {"in place, comments and order kept",
       "# mine\njoystick = Pad\n  x=ABS_X  \n\ny.deadzone = 5\n",
       {set_x},
       "# mine\njoystick = Pad\nx = -ABS_RX\n\ny.deadzone = 5\n"},
      {"the last line of a key takes it, the older ones go",
       "x = ABS_X\nrudder = ABS_Z\nx = ABS_Y\n",
       {set_x},
       "rudder = ABS_Z\nx = -ABS_RX\n"},
      {"a removal takes every line of the key",
       "x = ABS_X\n# x = ABS_Y\nx = ABS_Z\ny = ABS_Y",
       {remove_x},
       "# x = ABS_Y\ny = ABS_Y"},
      {"appended after a last line without its end",
       "joystick = Pad",
       {set_x},
       "joystick = Pad\nx = -ABS_RX\n"},
      {"a line's CRLF end kept",
       "x = ABS_X\r\nthrust = ABS_Z\r\n",
       {set_x},
       "x = -ABS_RX\r\nthrust = ABS_Z\r\n"},
      {"similar keys are other keys",
       "x.deadzone = 4\nxx = 1\n",
       {set_x, {"x.deadzone", "9"}},
       "x.deadzone = 9\nxx = 1\nx = -ABS_RX\n"},
      {"removing what is not there", "y = ABS_Y\n", {remove_x}, "y = ABS_Y\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(with_setting_changes(row.before, row.changes), row.after) << row.what;
  }
  EXPECT_NE(unwritable_setting({"x", "ABS_X\ny = ABS_RY"}), "");
  EXPECT_NE(unwritable_setting({"#x", "ABS_X"}), "");
  EXPECT_NE(unwritable_setting({"a=b", "1"}), "");
  EXPECT_EQ(unwritable_setting({"x.calibration", "-5 0 5"}), "");
}

std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

mode_t mode_of(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

TEST(SettingsWriter, CreatesTheFolderAndAPrivateFile) {
  FakeInputTree folder;
  const std::filesystem::path file = folder.root() / "config/orvandelcaster/settings.conf";
  ASSERT_EQ(write_setting_changes(file, {{"x", "ABS_RX"}}), "");
  EXPECT_EQ(file_text(file), "x = ABS_RX\n");
  EXPECT_EQ(mode_of(file), 0600u);
  EXPECT_EQ(mode_of(file.parent_path()), 0700u);
  EXPECT_EQ(mode_of(file.parent_path().parent_path()), 0700u);
  // Nothing left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

// A settings file kept elsewhere and linked in stays linked; the file it
// links to is rewritten and keeps its mode.
TEST(SettingsWriter, RewritesTheTargetOfALink) {
  FakeInputTree folder;
  const std::filesystem::path target = folder.root() / "dotfiles/orvandelcaster.conf";
  const std::filesystem::path file = folder.root() / "orvandelcaster/settings.conf";
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(target) << "# shared\njoystick = Pad\n";
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink("../dotfiles/orvandelcaster.conf", file);

  ASSERT_EQ(write_setting_changes(file, {{"y", "-ABS_RY"}}), "");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(file_text(target), "# shared\njoystick = Pad\ny = -ABS_RY\n");
  EXPECT_EQ(mode_of(target), 0640u);
}

// What the readers refuse is not overwritten either, and the reason names the file.
TEST(SettingsWriter, RefusesWhatIsNoRegularFile) {
  FakeInputTree folder;
  const std::filesystem::path file = folder.root() / "settings.conf";
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(
      write_setting_changes(file, {{"x", "ABS_X"}}),
      "cannot save the settings file " + file.string() + ": it is a FIFO, not a regular file");
  EXPECT_TRUE(std::filesystem::is_fifo(file));
  EXPECT_NE(write_setting_changes(folder.root() / "f", {{"x", "ABS_X\nevil = 1"}}), "");
  EXPECT_FALSE(std::filesystem::exists(folder.root() / "f"));
}

}  // namespace
}  // namespace platform
