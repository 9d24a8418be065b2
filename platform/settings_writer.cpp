#include "platform/settings_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/error_text.h"
#include "platform/outside_text.h"
#include "platform/settings_file.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    // Each line keeps its own end ("\n", "\r\n" or none for the last).
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string errno_reason(const char* doing) {
  return std::string(doing) + ": " + error_text_or_number(errno);
}

// The file a settings path names after its symbolic links, which need not
// exist yet; empty with *why set when a link cannot be read or they loop.
std::string link_target(const std::string& path, std::string* why) {
  std::string target = path;
  for (int links = 0; links < 40; ++links) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0) {
      if (errno == ENOENT) return target;
      *why = errno_reason("cannot look at it");
      return {};
    }
    if (!S_ISLNK(status.st_mode)) return target;
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(target.c_str(), buffer, sizeof buffer);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
      *why = length < 0 ? errno_reason("cannot read its link") : "its link is too long";
      return {};
    }
    std::string next(buffer, static_cast<std::size_t>(length));
    target = next.front() == '/' ? next : folder_of(target) + "/" + next;
  }
  *why = "its symbolic links go round in a loop";
  return {};
}

// Creates folder and the folders above it that are missing, each 0700: the
// settings are the user's own.
std::string make_folders(const std::string& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) == 0) return {};
  if (errno != ENOENT) return errno_reason(("cannot look at " + folder).c_str());
  if (folder != "/" && folder != ".") {
    std::string above = make_folders(folder_of(folder));
    if (!above.empty()) return above;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return errno_reason(("cannot create the folder " + printable_outside_text(folder)).c_str());
  }
  return {};
}

bool write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Puts text in place of the file at target, all at once, with mode.
std::string replace_file(const std::string& target, const std::string& text, mode_t mode) {
  const std::string folder = folder_of(target);
  std::string temporary = target + ".XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return errno_reason("cannot create a file beside it");
  std::string why;
  if (::fchmod(fd.get(), mode) != 0) {
    why = errno_reason("cannot set its mode");
  } else if (!write_all(fd.get(), text)) {
    why = errno_reason("cannot write it");
  } else if (::fsync(fd.get()) != 0) {
    why = errno_reason("cannot write it to disk");
  } else if (fd.reset(), ::rename(temporary.c_str(), target.c_str()) != 0) {
    why = errno_reason("cannot put it in place");
  }
  if (!why.empty()) {
    ::unlink(temporary.c_str());
    return why;
  }
  // The rename itself is on disk once the folder is.
  UniqueFd folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.valid()) ::fsync(folder_fd.get());
  return {};
}

}  // namespace

std::string unwritable_setting(const SettingChange& change) {
  const std::string_view key = change.key;
  if (key.empty() || trim_blanks(key) != key || key.front() == '#' ||
      key.find_first_of("=\n\r") != std::string_view::npos) {
    return "\"" + printable_outside_text(change.key) + "\" cannot be a key of the settings file";
  }
  if (change.value && (change.value->find_first_of("\n\r") != std::string::npos ||
                       change.value->size() > SETTING_VALUE_MAX_BYTES)) {
    return "the value of " + change.key + " cannot be written on one line";
  }
  return {};
}

std::string with_setting_changes(std::string_view settings_text,
                                 const std::vector<SettingChange>& changes) {
  const std::vector<std::string_view> lines = lines_of(settings_text);
  std::vector<std::string> result(lines.begin(), lines.end());
  std::string appended;
  for (const SettingChange& change : changes) {
    std::size_t last = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      // The key the line sets, as setting_value reads it; empty when it sets none.
      const std::optional<SettingLine> set = setting_line(result[i]);
      if ((set ? set->key : std::string_view{}) != change.key) continue;
      if (last < lines.size()) result[last].clear();
      last = i;
    }
    if (last < lines.size()) result[last].clear();
    if (!change.value) continue;
    const std::string line = change.key + " = " + *change.value;
    if (last < lines.size()) {
      const std::string_view old = lines[last];
      const bool crlf = old.size() >= 2 && old.substr(old.size() - 2) == "\r\n";
      result[last] = line + (crlf ? "\r\n" : old.back() == '\n' ? "\n" : "");
    } else {
      appended += line + "\n";
    }
  }
  std::string text;
  for (const std::string& line : result) text += line;
  if (!appended.empty() && !text.empty() && text.back() != '\n') text += '\n';
  return text + appended;
}

std::string write_setting_changes(const std::string& path,
                                  const std::vector<SettingChange>& changes) {
  const std::string failure =
      "cannot save the settings file " + printable_outside_text(path) + ": ";
  if (path.empty()) {
    return "cannot save the settings: neither XDG_CONFIG_HOME nor HOME names a folder for them";
  }
  for (const SettingChange& change : changes) {
    std::string why = unwritable_setting(change);
    if (!why.empty()) return failure + why;
  }
  std::string why;
  const std::string target = link_target(path, &why);
  if (target.empty()) return failure + why;
  why = make_folders(folder_of(target));
  if (!why.empty()) return failure + why;

  std::string text;
  why = read_settings_text(target, &text);
  if (!why.empty()) return failure + why;
  mode_t mode = 0600;
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) mode = status.st_mode & 07777;

  const std::string changed = with_setting_changes(text, changes);
  if (changed.size() > SETTINGS_FILE_MAX_BYTES) {
    return failure + "it would be larger than " + std::to_string(SETTINGS_FILE_MAX_BYTES / 1024) +
           " KiB";
  }
  why = replace_file(target, changed, mode);
  return why.empty() ? std::string() : failure + why;
}

}  // namespace platform
