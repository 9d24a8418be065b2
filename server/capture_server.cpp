#include "server/capture_server.h"

#include <mutex>
#include <system_error>
#include <thread>

#include "joystick/joystick_channels.h"
#include "server/listener.h"

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
