#include "platform/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/fake_input_tree.h"

namespace platform {
namespace {

TEST(SettingsFile, TheLastLineOfAKey) {
  EXPECT_EQ(setting_value("joystick = Logitech Extreme\n", "joystick"), "Logitech Extreme");
  EXPECT_EQ(setting_value("# a comment\n\n  joystick=/dev/input/event5  \r\n", "joystick"),
            "/dev/input/event5");
  EXPECT_EQ(setting_value("colour = blue\njoystick = a\njoystick = b", "joystick"), "b");
  EXPECT_EQ(setting_value("# joystick = commented out\njoysticks = x\n", "joystick"), std::nullopt);
  EXPECT_EQ(setting_value("", "joystick"), std::nullopt);
  EXPECT_EQ(setting_value("joystick =", "joystick"), "");
}

TEST(SettingsFile, UnderTheConfigFolder) {
  EXPECT_EQ(settings_file_path("/cfg", "/home/u"), "/cfg/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path(nullptr, "/home/u"), "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("relative", "/home/u"),
            "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("", nullptr), "");
}

TEST(SettingsFile, UnderAppData) {
  EXPECT_EQ(settings_file_path_in_appdata("C:\\Users\\u\\AppData\\Roaming"),
            "C:\\Users\\u\\AppData\\Roaming\\Orvandelcaster\\settings.conf");
  EXPECT_EQ(settings_file_path_in_appdata("\\\\server\\u\\"),
            "\\\\server\\u\\Orvandelcaster\\settings.conf");
  EXPECT_EQ(settings_file_path_in_appdata("D:/roaming/"),
            "D:/roaming\\Orvandelcaster\\settings.conf");
  for (const char* relative : {"", "Roaming", "C:Roaming", "\\Roaming"})
    EXPECT_EQ(settings_file_path_in_appdata(relative), "") << relative;
}

// Only a regular file of bounded size is read: whatever else stands in its
// place is refused at once (a FIFO must not block, /dev/zero must not fill
// memory), and the reason says what it is.
TEST(SettingsFile, OnlyARegularFileOfBoundedSizeIsRead) {
  FakeInputTree folder;  // for its temporary folder
  const std::filesystem::path file = folder.root() / "settings.conf";
  auto write_bytes = [&](std::size_t size) {
    std::ofstream(file, std::ios::binary) << std::string(size, '#');
  };
  struct Row {
    const char* what;
    std::function<void()> make;
    std::string refusal;  // empty when read (or absent)
    std::size_t text_size;
  } rows[] = {
      {"no file", [] {}, "", 0},
      {"a regular file", [&] { write_bytes(15); }, "", 15},
      {"as large as allowed", [&] { write_bytes(SETTINGS_FILE_MAX_BYTES); }, "",
       SETTINGS_FILE_MAX_BYTES},
      {"one byte larger", [&] { write_bytes(SETTINGS_FILE_MAX_BYTES + 1); },
       "it is larger than 64 KiB", 0},
      {"a FIFO no one writes", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
       "it is a FIFO, not a regular file", 0},
      {"a directory", [&] { std::filesystem::create_directory(file); },
       "it is a directory, not a regular file", 0},
      {"a link to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", file); },
       "it is a character device, not a regular file", 0},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all(file);
    row.make();
    std::string text = "left over";
    EXPECT_EQ(read_settings_text(file, &text), row.refusal) << row.what;
    EXPECT_EQ(text.size(), row.text_size) << row.what;
  }
}

TEST(SettingsFile, ABoundedReadTakesRoomForTheFileNotForTheBound) {
  FakeInputTree folder;  // for its temporary folder
  const std::string file = (folder.root() / "take.csv").string();
  std::ofstream(file) << "seconds,X,Y,Rudder,Thrust\n";
  std::string text;
  ASSERT_EQ(read_bounded_file(file, 64u * 1024 * 1024, &text), "");
  EXPECT_EQ(text, "seconds,X,Y,Rudder,Thrust\n");
  EXPECT_LT(text.capacity(), 4096u);
  // A file whose size the kernel reports as 0 is still read whole.
  ASSERT_EQ(read_bounded_file("/proc/self/status", 64u * 1024 * 1024, &text), "");
  EXPECT_NE(text.find("\nThreads:"), std::string::npos) << text;
}

}  // namespace
}  // namespace platform
