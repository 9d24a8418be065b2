#include "server/capture_server.h"

#include <mutex>
#include <system_error>
#include <thread>

#include "joystick/joystick_channels.h"
#include "server/listener.h"

bool start_capture_server(platform::JoystickCapabilities* caps, pthread_t* thread) {
  static std::mutex starting;
  static bool tried = false;
  static bool running = false;
  static pthread_t handle{};
  std::lock_guard<std::mutex> lock(starting);
  fix_axis_scale(caps);
  if (!tried) {
    tried = true;
    try {
      std::thread server(server_thread, nullptr);
      handle = server.native_handle();
      server.detach();
      running = true;
    } catch (const std::system_error&) {
    }
  }
  if (running && thread) *thread = handle;
  return running;
}
