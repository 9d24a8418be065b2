#pragma once

// The user's settings file: lines "key = value", read by key. Blank lines and
// lines starting with '#' are skipped, keys nobody asks for are ignored, and
// the last line of a key wins.
//
// The file comes from outside and is read by every reader of a setting, so
// what is read is bounded: only a regular file (a FIFO would block start-up,
// a link to /dev/zero would never end), and at most SETTINGS_FILE_MAX_BYTES.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A settings file is a few short lines; anything larger is not one.
inline constexpr std::size_t SETTINGS_FILE_MAX_BYTES = 64 * 1024;
// The longest value of a setting, or of the environment variable standing in
// for it, that is taken; a longer one is refused, not cut.
inline constexpr std::size_t SETTING_VALUE_MAX_BYTES = 4 * 1024;

// ${XDG_CONFIG_HOME:-$HOME/.config}/orvandelcaster/settings.conf for these
// values of the two variables (a relative XDG_CONFIG_HOME counts as unset);
// empty when neither gives a place.
std::string settings_file_path(const char* xdg_config_home, const char* home);

// %APPDATA%\Orvandelcaster\settings.conf for this value of APPDATA (UTF-8);
// empty when it is no absolute path (a relative one would name a different
// file in every working folder).
std::string settings_file_path_in_appdata(std::string_view appdata);

// The settings file of this process: the one use_settings_file chose, else
// the system's default, default_settings_file_path: settings_file_path for
// this process's XDG_CONFIG_HOME and HOME on Linux,
// settings_file_path_in_appdata(APPDATA) on Windows.
std::string settings_file_path();
std::string default_settings_file_path();

// Makes path the settings file of this process (--settings FILE), for every
// reader of every setting and for the watch of its folder: empty when done;
// else why it cannot be (it is missing, unreadable, not a regular file, too
// large), and nothing changes. Call it at start-up, before any other thread.
std::string use_settings_file(const std::string& path);

// The value of the last line "key = VALUE" in the text of a settings file,
// without the blanks around it; nullopt when no line sets key.
std::optional<std::string> setting_value(std::string_view settings_text, std::string_view key);

// text without the blanks (spaces, tabs, line ends) around it, as a value of
// the file is taken.
std::string_view trim_blanks(std::string_view text);

// What one line of a settings file sets: the text before its first '=' and
// after it, each without the blanks around it.
struct SettingLine {
  std::string_view key;
  std::string_view value;
};
// nullopt for a line that sets nothing: blank, a comment ('#' after any
// blanks) or without '='.
std::optional<SettingLine> setting_line(std::string_view line);

// Whether a settings file that is not there is simply no settings (the
// default file) or a fault (a file the user named).
enum class MissingFile { ALLOWED, REFUSED };

// Reads the file at path into *text when it is a regular file of at most
// max_bytes, opened without waiting, so that a file from outside can neither
// block nor flood its reader. Returns why it was not read ("cannot open it:
// ...", "it is a FIFO, not a regular file", "it is larger than 64 KiB"), or
// empty when it was; *missing (when given) tells a file that does not exist.
// Linux only, as are the recordings it also reads.
std::string read_bounded_file(const std::string& path, std::size_t max_bytes, std::string* text,
                              bool* missing = nullptr);

// Reads the settings file at path into *text when it is a regular file of at
// most SETTINGS_FILE_MAX_BYTES, opened without waiting. Returns why it was not
// read ("it is a FIFO, not a regular file", ...), or empty when it was read or
// when there is no file and missing is ALLOWED (*text is empty then).
// On Windows path is UTF-8.
std::string read_settings_text(const std::string& path, std::string* text,
                               MissingFile missing = MissingFile::ALLOWED);

// setting_value of the file at path; nullopt also when there is none or it
// was refused. A refusal is said once per process on standard error (every
// reader of joystick 0 reads the settings, the window's on every change), as
// one line naming the file.
std::optional<std::string> read_setting(const std::string& path, std::string_view key);

}  // namespace platform
