#include "server/capture_server.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "joystick/joystick_channels.h"
#include "server/listener.h"
#include "server/process.h"
#include "server/registry.h"

namespace {
std::atomic<FirstPublicationHandler> g_first_publication_handler{nullptr};
std::atomic<bool> g_published_once{false};
}  // namespace

void set_first_publication_handler(FirstPublicationHandler handler) {
  g_first_publication_handler.store(handler);
}

void notice_publication(const char* name) {
  if (g_published_once.exchange(true)) return;
  if (FirstPublicationHandler handler = g_first_publication_handler.load()) {
    handler(name, registry_object_name());
  }
}

bool start_capture_server(platform::JoystickCapabilities* caps) {
  static std::mutex starting;
  static bool tried = false;
  static bool running = false;
  std::lock_guard<std::mutex> lock(starting);
  fix_axis_scale(caps);
  if (!tried) {
    tried = true;
    try {
      std::thread(server_thread, nullptr).detach();
      running = true;
    } catch (const std::system_error&) {
    }
  }
  return running;
}
