#pragma once

// The user's settings file: lines "key = value", read by key. Blank lines and
// lines starting with '#' are skipped, keys nobody asks for are ignored, and
// the last line of a key wins.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// ${XDG_CONFIG_HOME:-$HOME/.config}/orvandelcaster/settings.conf for these
// values of the two variables (a relative XDG_CONFIG_HOME counts as unset);
// empty when neither gives a place.
std::string settings_file_path(const char* xdg_config_home, const char* home);

// settings_file_path for this process's environment.
std::string settings_file_path();

// The value of the last line "key = VALUE" in the text of a settings file,
// without the blanks around it; nullopt when no line sets key.
std::optional<std::string> setting_value(std::string_view settings_text, std::string_view key);

// text without the blanks (spaces, tabs, line ends) around it, as a value of
// the file is taken.
std::string_view trim_blanks(std::string_view text);

// setting_value of the file at path; nullopt also when it cannot be read.
std::optional<std::string> read_setting(const std::string& path, std::string_view key);

}  // namespace platform
