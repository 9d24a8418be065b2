#include <atomic>

#include "platform/joystick.h"

namespace platform {
namespace {

// Interim: the evdev reader is not wired in yet, so joystick 0 reads as absent.
class AbsentReader final : public JoystickReader {
 public:
  int get_pos(JoyInfoEx* info) override {
    info->dwXpos = info->dwYpos = info->dwZpos = info->dwRpos = JOY_AXIS_CENTRED;
    info->dwButtons = 0;
    return -1;
  }
};

class LinuxJoysticks final : public Joysticks {
 public:
  int get_caps(JoyCaps* caps) override {
    *caps = JoyCaps{0, 65535, 10};
    return -1;
  }
  std::unique_ptr<JoystickReader> open_reader() override { return std::make_unique<AbsentReader>(); }
};

std::atomic<Joysticks*> replacement_joysticks{nullptr};

}  // namespace

Joysticks& joysticks() {
  static Joysticks* linux_joysticks = new LinuxJoysticks;
  Joysticks* fake = replacement_joysticks.load(std::memory_order_acquire);
  return fake ? *fake : *linux_joysticks;
}

void set_joysticks(Joysticks* replacement) {
  replacement_joysticks.store(replacement, std::memory_order_release);
}

}  // namespace platform
