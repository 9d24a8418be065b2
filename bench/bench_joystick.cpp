// Linked into orvandelcaster-bench only (the CMake option
// ORVANDEL_BENCH_PROGRAM), never into the shipped program: before main() it
// puts a stand-in in place of joystick 0 when ORVANDEL_BENCH_JOYSTICK asks
// for one, so that bench/window-cpu can measure the real program on a
// machine without an input device.
//
//   ORVANDEL_BENCH_JOYSTICK=resting  a joystick that is there and does not move
//   ORVANDEL_BENCH_JOYSTICK=moving   one whose axes and buttons move all the
//                                    time, with an event every 4 ms as a
//                                    250 Hz gamepad sends them
//   unset                            the machine's own devices

#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>

#include "platform/fake_joystick_device.h"
#include "platform/joystick_device.h"
#include "platform/unique_fd.h"

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
    Reader() : m_events(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
      const itimerspec every_4_ms{{0, 4'000'000}, {0, 4'000'000}};
      ::timerfd_settime(m_events.get(), 0, &every_4_ms, nullptr);
    }
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
    int event_descriptor() const override { return m_events.get(); }
    bool drain_events() override {
      std::uint64_t expirations = 0;
      return ::read(m_events.get(), &expirations, sizeof expirations) == sizeof expirations;
    }

   private:
    static std::uint32_t sweep(double seconds, double period) {
      return static_cast<std::uint32_t>(
          32767.5 + 32767.5 * std::sin(2 * std::numbers::pi * seconds / period));
    }
    platform::UniqueFd m_events;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
  };
};

const bool installed = [] {
  const char* condition = std::getenv("ORVANDEL_BENCH_JOYSTICK");
  if (!condition) return false;
  if (std::strcmp(condition, "moving") == 0) {
    platform::set_joystick_device(new MovingJoystickDevice);
  } else if (std::strcmp(condition, "resting") == 0) {
    auto* resting = new platform::FakeJoystickDevice;
    resting->set_axes(32767, 32767, 32767, 32767);
    platform::set_joystick_device(resting);
  }
  return true;
}();

}  // namespace
