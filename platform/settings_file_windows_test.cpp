#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/settings_file.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Only a regular file of bounded size is read; whatever else stands in its
// place is refused at once, and the reason says what it is. The folder's
// name is not ASCII: paths are UTF-8 in the program and wide at the calls.
TEST(SettingsFileWindows, OnlyARegularFileOfBoundedSizeIsRead) {
  const fs::path folder = fs::temp_directory_path() /
                          (L"orvandel-s\u00e9ttings-" + std::to_wstring(::GetCurrentProcessId()));
  fs::create_directories(folder);
  const fs::path file = folder / L"settings.conf";
  const std::u8string utf8 = file.u8string();
  const std::string path(utf8.begin(), utf8.end());
  auto write_bytes = [&](std::size_t size) {
    std::ofstream(file, std::ios::binary) << std::string(size, '#');
  };
  const struct {
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
      {"a directory", [&] { fs::create_directory(file); }, "it is a directory, not a regular file",
       0},
  };
  for (const auto& row : rows) {
    fs::remove_all(file);
    row.make();
    std::string text = "left over";
    EXPECT_EQ(read_settings_text(path, &text), row.refusal) << row.what;
    EXPECT_EQ(text.size(), row.text_size) << row.what;
  }
  std::string text;
  EXPECT_EQ(read_settings_text("NUL", &text), "it is a character device, not a regular file");
  fs::remove_all(folder);
}

TEST(SettingsFileWindows, ThePlaceIsUnderAppData) {
  const wchar_t* old = ::_wgetenv(L"APPDATA");
  const std::wstring restore = L"APPDATA=" + std::wstring(old ? old : L"");
  ASSERT_EQ(::_wputenv(L"APPDATA=C:\\Users\\J\u00fcrgen\\AppData\\Roaming"), 0);
  EXPECT_EQ(settings_file_path(),
            "C:\\Users\\J\xc3\xbcrgen\\AppData\\Roaming\\Orvandelcaster\\settings.conf");
  ASSERT_EQ(::_wputenv(L"APPDATA="), 0);  // unset
  EXPECT_EQ(settings_file_path(), "");
  ::_wputenv(restore.c_str());
}

}  // namespace
}  // namespace platform
