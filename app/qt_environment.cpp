#include "app/qt_environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool is_set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// Makes a directory only this user may enter; empty when that fails, and Qt
// then falls back (with its warning) as it would have anyway.
std::string make_private_dir() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string pattern = std::string(is_set("TMPDIR") ? tmpdir : "/tmp") + "/orvandelcaster-runtime.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

bool wants_offscreen_platform() {
  return !is_set("DISPLAY") && !is_set("WAYLAND_DISPLAY") && !is_set("QT_QPA_PLATFORM");
}

QtEnvironment::QtEnvironment() {
  if (wants_offscreen_platform()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!is_set("XDG_RUNTIME_DIR")) {
    m_fallback_runtime_dir = make_private_dir();
    if (!m_fallback_runtime_dir.empty()) {
      ::setenv("XDG_RUNTIME_DIR", m_fallback_runtime_dir.c_str(), 1);
    }
  }
}

QtEnvironment::~QtEnvironment() {
  if (m_fallback_runtime_dir.empty()) return;
  // Qt may have left sockets or locks in it.
  std::error_code ignored;
  std::filesystem::remove_all(m_fallback_runtime_dir, ignored);
}
