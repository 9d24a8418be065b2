#pragma once

// Changes to the user's settings file, made the way a person editing it by
// hand would: the lines of the keys changed are rewritten in place, every
// other line, comment and blank stays as it was and where it was.
//
// The file is replaced whole and at once (a temporary file beside it, synced,
// then renamed over it), so a reader that re-reads it every second never sees
// half of it, and a crash leaves the old file or the new one. A settings file
// that is a symbolic link (a dotfiles repository) stays a link: its target is
// what is rewritten.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One key to set to value, or to remove (nullopt).
struct SettingChange {
  std::string key;
  std::optional<std::string> value;
};

// Why a key or value cannot be written as a line of the file, or empty: a
// line break would add lines, a key with '=' or a leading '#' would read
// back as another key or a comment.
std::string unwritable_setting(const SettingChange& change);

// The text of a settings file after the changes. A key set takes the place of
// the last line that set it ("key = value"), or a new line at the end; every
// other line of that key goes, since a later removal would otherwise bring an
// older value back. A key removed loses all its lines.
std::string with_setting_changes(std::string_view settings_text,
                                 const std::vector<SettingChange>& changes);

// Applies the changes to the settings file at path (settings_file_path()),
// creating its folder (0700) and the file (0600) when absent and keeping an
// existing file's mode. Refuses what the readers refuse: anything but a
// regular file of at most SETTINGS_FILE_MAX_BYTES. Returns why the file was
// not written, a line for people naming the file, or empty on success.
std::string write_setting_changes(const std::string& path,
                                  const std::vector<SettingChange>& changes);

}  // namespace platform
