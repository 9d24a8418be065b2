#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/errno_keeper.h"
#include "platform/folder_watch.h"

namespace platform {
namespace {

// A device node appears or leaves (IN_CREATE, IN_DELETE, renames), or udev
// gives it its permissions (IN_ATTRIB); the settings file is written in place
// (IN_CLOSE_WRITE) or replaced by a rename.
constexpr std::uint32_t CHANGES = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
// A parent watched in the folder's stead waits only for it to be made or
// moved in: anything more would wake for every write to a busy parent (every
// "> /dev/null" closes a file of /dev). Added to the mask of a parent that
// is watched for its own sake too.
constexpr std::uint32_t FOLDER_MADE = IN_CREATE | IN_MOVED_TO | IN_MASK_ADD;

}  // namespace

FolderWatch::FolderWatch(std::vector<std::string> folders)
    : m_folders(std::move(folders)), m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  ErrnoKeeper keep_errno;
  watch_folders();
}

void FolderWatch::watch_folders() {
  if (!m_fd.valid()) return;
  for (const std::string& folder : m_folders) {
    // Watching a folder already watched keeps its one watch.
    std::filesystem::path place(folder);
    std::uint32_t mask = CHANGES;
    while (::inotify_add_watch(m_fd.get(), place.c_str(), mask | IN_ONLYDIR) < 0 && errno == ENOENT &&
           place.has_relative_path()) {
      place = place.parent_path();
      mask = FOLDER_MADE;
    }
  }
}

bool FolderWatch::drain() {
  ErrnoKeeper keep_errno;
  if (!m_fd.valid()) return false;
  bool any = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(m_fd.get(), buffer, sizeof buffer);
    if (got > 0) {
      any = true;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  // A folder made, removed or moved since: the watches follow it.
  if (any) watch_folders();
  return any;
}

}  // namespace platform
