#include "platform/settings_file.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/outside_text.h"
#include "platform/program_name.h"
#include "platform/standard_error.h"

namespace platform {
namespace {

// The file given on the command line, once set: it stands in for the default
// one for every reader of every setting and for the folder watch.
std::string& settings_file_override() {
  static auto* path = new std::string;
  return *path;
}

}  // namespace

std::string_view trim_blanks(std::string_view text) {
  constexpr char BLANKS[] = " \t\r\n";
  std::size_t first = text.find_first_not_of(BLANKS);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(BLANKS);
  return text.substr(first, last - first + 1);
}

std::string settings_file_path(const char* xdg_config_home, const char* home) {
  constexpr char RELATIVE_PATH[] = "/orvandelcaster/settings.conf";
  if (xdg_config_home && xdg_config_home[0] == '/')
    return xdg_config_home + std::string(RELATIVE_PATH);
  if (home && home[0] != '\0') return home + std::string("/.config") + RELATIVE_PATH;
  return {};
}

std::string settings_file_path_in_appdata(std::string_view appdata) {
  const bool absolute = appdata.starts_with("\\\\") || (appdata.size() >= 3 && appdata[1] == ':' &&
                                                        (appdata[2] == '\\' || appdata[2] == '/'));
  if (!absolute) return {};
  if (appdata.ends_with('\\') || appdata.ends_with('/')) appdata.remove_suffix(1);
  return std::string(appdata) + "\\Orvandelcaster\\settings.conf";
}

std::string settings_file_path() {
  if (!settings_file_override().empty()) return settings_file_override();
  return default_settings_file_path();
}

std::string use_settings_file(const std::string& path) {
  std::string text;
  std::string refusal = read_settings_text(path, &text, MissingFile::REFUSED);
  if (!refusal.empty()) return refusal;
  // Absolute, so that the folder watch watches its folder whatever the working folder.
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  settings_file_override() = error ? path : absolute.lexically_normal().string();
  return {};
}

std::optional<SettingLine> setting_line(std::string_view line) {
  line = trim_blanks(line);
  if (line.empty() || line.front() == '#') return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return SettingLine{trim_blanks(line.substr(0, equals)), trim_blanks(line.substr(equals + 1))};
}

std::optional<std::string> setting_value(std::string_view settings_text, std::string_view key) {
  std::optional<std::string> value;
  while (!settings_text.empty()) {
    std::size_t end = settings_text.find('\n');
    const std::optional<SettingLine> line = setting_line(settings_text.substr(0, end));
    settings_text =
        end == std::string_view::npos ? std::string_view{} : settings_text.substr(end + 1);
    if (line && line->key == key) value = std::string(line->value);
  }
  return value;
}

std::optional<std::string> read_setting(const std::string& path, std::string_view key) {
  std::string text;
  const std::string refusal = read_settings_text(path, &text);
  if (!refusal.empty()) {
    static std::once_flag reported;
    std::call_once(reported, [&] {
      const std::string line = std::string(program_name()) + ": ignoring the settings file " +
                               printable_outside_text(path) + ": " + refusal + "\n";
      write_standard_error(line.data(), line.size());
    });
    return std::nullopt;
  }
  return setting_value(text, key);
}

}  // namespace platform
