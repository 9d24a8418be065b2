#include "app/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QLibraryInfo>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "platform/outside_text.h"
#include "platform/unique_fd.h"

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Why X cannot be used at display, or nothing when a server accepts us there
// (the connection is then kept in *kept).
std::optional<std::string> x_failure(const std::string& display,
                                     std::unique_ptr<xcb_connection_t, DisplayChoice::XDisconnect>* kept) {
  // An X server that resets when its last client leaves refuses connections
  // for a moment while it does: a start at that moment tries again for a
  // second before it calls the display unusable.
  std::unique_ptr<xcb_connection_t, DisplayChoice::XDisconnect> connection;
  int error = XCB_CONN_ERROR;
  for (int attempt = 0; attempt < 10 && error == XCB_CONN_ERROR; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    connection.reset(xcb_connect(display.c_str(), nullptr));
    error = xcb_connection_has_error(connection.get());
  }
  switch (error) {
    case 0:
      *kept = std::move(connection);
      return std::nullopt;
    case XCB_CONN_ERROR:
      return "no X server there accepts this program's connection";
    case XCB_CONN_CLOSED_PARSE_ERR:
      return "not a display name";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return "the X server has no such screen";
    default:
      return "the X server closed the connection (xcb error " + std::to_string(error) + ")";
  }
}

// Qt's Wayland platform is a package of its own: its plugin is looked for
// where Qt looks for platform plugins.
bool wayland_plugin_installed() {
  std::vector<std::filesystem::path> folders;
  if (const std::string own = environment("QT_QPA_PLATFORM_PLUGIN_PATH"); !own.empty()) {
    folders.emplace_back(own);
  }
  for (const std::string& folder : split(environment("QT_PLUGIN_PATH"), ':')) {
    if (!folder.empty()) folders.push_back(std::filesystem::path(folder) / "platforms");
  }
  folders.push_back(
      std::filesystem::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) /
      "platforms");
  for (const auto& folder : folders) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      if (entry.path().filename().string().starts_with("libqwayland")) return true;
    }
  }
  return false;
}

// Why Wayland cannot be used at display, or nothing when its socket answers.
std::optional<std::string> wayland_failure(const std::string& display) {
  if (!wayland_plugin_installed()) {
    return "Qt's Wayland platform plugin is not installed (package qt6-wayland)";
  }
  // A compositor that started us may have handed over the connection itself.
  if (!environment("WAYLAND_SOCKET").empty()) return std::nullopt;
  std::string path = display;
  if (!display.starts_with('/')) {
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return "XDG_RUNTIME_DIR, where its socket is, is not set";
    path = runtime + "/" + display;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "the socket's path is too long";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  platform::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid() ||
      ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    return std::string("no compositor answers there: ") + std::strerror(errno);
  }
  return std::nullopt;
}

struct Attempt {
  std::string display;
  std::string reason;
};

}  // namespace

void DisplayChoice::XDisconnect::operator()(xcb_connection_t* connection) const {
  xcb_disconnect(connection);
}

DisplayChoice choose_display_platform() {
  DisplayChoice choice;
  const std::string chosen_by_user = environment("QT_QPA_PLATFORM");
  std::vector<std::string> platforms;
  if (!chosen_by_user.empty()) {
    platforms = split(chosen_by_user, ';');
  } else {
    if (!environment("WAYLAND_DISPLAY").empty()) platforms.emplace_back("wayland");
    if (!environment("DISPLAY").empty()) platforms.emplace_back("xcb");
  }
  // What to unset to serve headless: whatever pointed Qt at a display.
  std::vector<std::string> to_unset;
  for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
    if (!environment(name).empty()) to_unset.emplace_back(name);
  }

  std::vector<Attempt> failed;
  for (const std::string& platform : platforms) {
    // An entry may carry its options after a colon ("xcb:option").
    const std::string base = platform.substr(0, platform.find(':'));
    std::optional<std::string> failure;
    std::string display;
    if (base == "xcb") {
      display = environment("DISPLAY");
      failure = display.empty() ? std::optional<std::string>("DISPLAY is not set")
                                : x_failure(display, &choice.x_connection);
    } else if (base.starts_with("wayland")) {
      display = environment("WAYLAND_DISPLAY");
      if (display.empty()) display = "wayland-0";  // the socket a Wayland client tries then
      failure = wayland_failure(display);
    }
    if (!failure) {
      ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
      return choice;
    }
    failed.push_back({display, *failure});
  }
  if (failed.empty()) return choice;  // nothing to start: Qt's own default stands

  std::string& line = choice.failure;
  line = "Orvandelcaster: cannot open the display ";
  for (std::size_t i = 0; i < failed.size(); ++i) {
    if (i > 0) line += ", nor the display ";
    line += platform::printable_outside_text(failed[i].display) + ": " + failed[i].reason;
  }
  line += "; unset ";
  for (std::size_t i = 0; i < to_unset.size(); ++i) {
    if (i > 0) line += " and ";
    line += to_unset[i];
  }
  line += " to serve headless";
  return choice;
}
