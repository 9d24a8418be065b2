#include "app/qt_environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/stop_signals.h"

namespace {

bool is_set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// Makes a directory only this user may enter, under TMPDIR or else /tmp (a
// TMPDIR that does not exist or cannot be written is no reason for Qt's
// warning); empty when both fail, and Qt then falls back, with its warning, as
// it would have anyway.
std::string make_private_dir() {
  std::error_code ignored;
  const char* parents[] = {std::getenv("TMPDIR"), "/tmp"};
  for (const char* parent : parents) {
    if (parent == nullptr || parent[0] == '\0') continue;
    std::string pattern = std::filesystem::absolute(parent, ignored).string();
    if (pattern.empty()) continue;
    pattern += "/orvandelcaster-runtime.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) return pattern;
  }
  return {};
}

// Whether Qt takes XDG_RUNTIME_DIR without a warning: a directory of this
// user's that no one else may enter. `su` keeps the calling user's, which Qt
// refuses with a warning as it refuses a missing one.
bool runtime_dir_usable() {
  if (!is_set("XDG_RUNTIME_DIR")) return false;
  struct stat status {};
  if (::stat(std::getenv("XDG_RUNTIME_DIR"), &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0777) == 0700;
}

}  // namespace

bool wants_offscreen_platform() {
  return !is_set("DISPLAY") && !is_set("WAYLAND_DISPLAY") && !is_set("QT_QPA_PLATFORM");
}

QtEnvironment::QtEnvironment() {
  if (wants_offscreen_platform()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // A Wayland client finds its display's socket in the user's runtime
  // directory, usable to Qt or not: that one is kept.
  if (!runtime_dir_usable() && !is_set("WAYLAND_DISPLAY")) {
    // A stop during start-up removes it too, never between making and handing it over.
    auto held = hold_stop_signals();
    m_fallback_runtime_dir = make_private_dir();
    remove_at_stop(m_fallback_runtime_dir);
    if (!m_fallback_runtime_dir.empty()) {
      ::setenv("XDG_RUNTIME_DIR", m_fallback_runtime_dir.c_str(), 1);
    }
  }
}

QtEnvironment::~QtEnvironment() {
  if (m_fallback_runtime_dir.empty()) return;
  // Qt may have left sockets or locks in it.
  auto held = hold_stop_signals();
  std::error_code ignored;
  std::filesystem::remove_all(m_fallback_runtime_dir, ignored);
  remove_at_stop({});
}
