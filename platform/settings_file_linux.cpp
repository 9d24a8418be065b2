#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/error_text.h"
#include "platform/settings_file.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

const char* kind_of_file(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

// "64 KiB", "64 MiB".
std::string size_text(std::size_t bytes) {
  if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
  return std::to_string(bytes / 1024) + " KiB";
}

}  // namespace

std::string default_settings_file_path() {
  return settings_file_path(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::string read_bounded_file(const std::string& path, std::size_t max_bytes, std::string* text,
                              bool* missing) {
  text->clear();
  if (missing) *missing = false;
  // Non-blocking: opening a FIFO that no one writes returns at once.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    if (missing) *missing = errno == ENOENT;
    return std::string("cannot open it: ") + error_text_or_number(errno);
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    return std::string("cannot read it: ") + error_text_or_number(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return std::string("it is ") + kind_of_file(status.st_mode) + ", not a regular file";
  }
  const std::string too_large = "it is larger than " + size_text(max_bytes);
  if (static_cast<unsigned long long>(status.st_size) > max_bytes) return too_large;
  // Room for the file as fstat saw it and one byte more, which tells a file
  // that grew since; a growing one gets more room, up to one byte more than
  // allowed. A small file costs a small buffer whatever the bound.
  const std::size_t room_limit = max_bytes + 1;
  std::string read(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == read.size()) {
      if (read.size() == room_limit) break;
      read.resize(std::min(room_limit, read.size() * 2));
    }
    ssize_t got = ::read(fd.get(), read.data() + used, read.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::string("cannot read it: ") + error_text_or_number(errno);
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  if (used > max_bytes) return too_large;
  read.resize(used);
  *text = std::move(read);
  return {};
}

std::string read_settings_text(const std::string& path, std::string* text, MissingFile missing) {
  text->clear();
  if (path.empty() && missing == MissingFile::ALLOWED) return {};
  bool absent = false;
  std::string refusal = read_bounded_file(path, SETTINGS_FILE_MAX_BYTES, text, &absent);
  return absent && missing == MissingFile::ALLOWED ? std::string() : refusal;
}

}  // namespace platform
