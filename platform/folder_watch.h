#pragma once

// Notices, without polling, that the entries of a few folders changed: one
// made, removed, renamed, rewritten, or its permissions changed. A folder that
// does not exist yet is noticed when it is made (its nearest existing parent
// is watched until then).

#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

class FolderWatch {
 public:
  explicit FolderWatch(std::vector<std::string> folders);

  // Readable when a change is pending; -1 when nothing could be watched.
  int descriptor() const { return m_fd.get(); }

  // Reads every pending notification: true when any came.
  bool drain();

 private:
  void watch_folders();

  std::vector<std::string> m_folders;
  UniqueFd m_fd;
};

}  // namespace platform
