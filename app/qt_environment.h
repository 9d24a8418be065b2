#pragma once

#include <string>

// What Qt reads from the environment, settled before the Qt application is
// built, so that the program runs wherever it is started and its standard
// error stays the server's alone:
//  - with no display (neither DISPLAY nor WAYLAND_DISPLAY) and no platform
//    chosen by the user (QT_QPA_PLATFORM), the offscreen platform: no window,
//    but joystick 0 is still served;
//  - with no XDG_RUNTIME_DIR (su -, ssh -X, a cron job), or one Qt refuses
//    (another user's, kept by su; one others may enter), a private runtime
//    directory of our own (mode 0700, made with mkdtemp under TMPDIR, else
//    /tmp), removed again when this object goes, since Qt warns otherwise.
//    Not under Wayland: its display socket is in the user's runtime directory.
class QtEnvironment {
 public:
  QtEnvironment();
  ~QtEnvironment();
  QtEnvironment(const QtEnvironment&) = delete;
  QtEnvironment& operator=(const QtEnvironment&) = delete;

  // The private runtime directory, or empty when the user's is used.
  const std::string& fallback_runtime_dir() const { return m_fallback_runtime_dir; }

 private:
  std::string m_fallback_runtime_dir;
};

// True when Qt is to use the offscreen platform: no display and no platform
// chosen by the user. Reads the environment.
bool wants_offscreen_platform();
