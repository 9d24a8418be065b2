// The real program -- application object, monitor window, server thread --
// with joystick 0 in a chosen condition, for bench/window-cpu to measure the
// window's CPU time on a machine without an input device:
//
//   window_load none     the machine's own devices (none on such a machine)
//   window_load resting  a joystick that is there and does not move
//   window_load moving   a joystick whose axes and buttons move all the time
//
// The server publishes in a registry of its own, so that a user's server or
// another test's never meets it.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>

#include "app/server_app.h"
#include "platform/fake_joystick_device.h"
#include "platform/joystick_device.h"
#include "server/registry.h"

namespace {

// Every axis sweeps its whole range, each at its own pace, and one button
// after another is pressed: every reading differs from the one before, as
// with a hand on the stick.
class MovingJoystickDevice final : public platform::JoystickDevice {
 public:
  int get_capabilities(platform::JoystickCapabilities* caps) override {
    *caps = platform::FIXED_CAPABILITIES;
    return 0;
  }
  std::unique_ptr<platform::JoystickReader> open_reader() override {
    return std::make_unique<Reader>();
  }

 private:
  class Reader final : public platform::JoystickReader {
   public:
    int read(platform::JoystickState* state) override {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
      state->x = sweep(seconds, 1.0);
      state->y = sweep(seconds, 1.3);
      state->z = sweep(seconds, 1.7);
      state->r = sweep(seconds, 2.3);
      state->buttons = 1u << (static_cast<unsigned>(seconds * 4) % 8);
      return 0;
    }
    platform::JoystickStatus status() const override {
      platform::JoystickStatus status;
      status.state = platform::JoystickStatus::State::READY;
      status.name = "Moving Joystick";
      status.names_devices = true;
      status.path = "/dev/input/event0";
      return status;
    }

   private:
    static std::uint32_t sweep(double seconds, double period) {
      return static_cast<std::uint32_t>(
          32767.5 + 32767.5 * std::sin(2 * std::numbers::pi * seconds / period));
    }
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
  };
};

}  // namespace

int main(int argc, char** argv) {
  const char* condition = argc == 2 ? argv[1] : "";
  if (std::strcmp(condition, "moving") == 0) {
    platform::set_joystick_device(new MovingJoystickDevice);
  } else if (std::strcmp(condition, "resting") == 0) {
    auto* resting = new platform::FakeJoystickDevice;
    resting->set_axes(32767, 32767, 32767, 32767);
    platform::set_joystick_device(resting);
  } else if (std::strcmp(condition, "none") != 0) {
    std::fprintf(stderr, "usage: %s none|resting|moving\n", argv[0]);
    return 2;
  }
  static std::string registry = "/orvandel-window-load-" + std::to_string(::getpid());
  set_registry_object_name(registry.c_str());
  return run_application(g_server_app, 1, argv);
}
