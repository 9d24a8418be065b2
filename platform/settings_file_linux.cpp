// The settings file read through the POSIX calls.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::string system_settings_file_path() {
  return settings_file_path(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::string read_settings_text(const std::string& path, std::string* text) {
  text->clear();
  if (path.empty()) return {};
  // Non-blocking: opening a FIFO that no one writes returns at once.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    if (errno == ENOENT) return {};
    return std::string("cannot open it: ") + error_text_or_number(errno);
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    return std::string("cannot read it: ") + error_text_or_number(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return std::string("it is ") + kind_of_file(status.st_mode) + ", not a regular file";
  }
  if (static_cast<unsigned long long>(status.st_size) > SETTINGS_FILE_MAX_BYTES)
    return settings_file_too_large();
  // One byte more than allowed tells a file that grew since fstat.
  std::string read(SETTINGS_FILE_MAX_BYTES + 1, '\0');
  std::size_t used = 0;
  while (used < read.size()) {
    ssize_t got = ::read(fd.get(), read.data() + used, read.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::string("cannot read it: ") + error_text_or_number(errno);
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  if (used > SETTINGS_FILE_MAX_BYTES) return settings_file_too_large();
  read.resize(used);
  *text = std::move(read);
  return {};
}

}  // namespace platform
