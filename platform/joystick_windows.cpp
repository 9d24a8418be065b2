// Joystick 0 through the Windows multimedia joystick calls (winmm).

// Ours first: the Windows headers define some of its names as macros.
#include "platform/joystick.h"
#include "platform/winmm_joystick.h"
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <atomic>

namespace platform {
namespace {

class WinmmReader final : public JoystickReader {
 public:
  int get_pos(JoyInfoEx* info) override {
    JOYINFOEX reading{};
    reading.dwSize = sizeof reading;
    reading.dwFlags = JOY_RETURNALL;
    if (::joyGetPosEx(JOYSTICKID1, &reading) != JOYERR_NOERROR) {
      info->dwXpos = info->dwYpos = info->dwZpos = info->dwRpos = JOY_AXIS_CENTRED;
      info->dwButtons = 0;
      return -1;
    }
    info->dwXpos = reading.dwXpos;
    info->dwYpos = reading.dwYpos;
    info->dwZpos = reading.dwZpos;
    info->dwRpos = reading.dwRpos;
    info->dwButtons = reading.dwButtons;
    return 0;
  }
};

class WinmmJoysticks final : public Joysticks {
 public:
  int get_caps(JoyCaps* caps) override {
    // Cleared first and the result checked: a failed call (no joystick) leaves
    // the record as it was, under Wine at least, and nothing may rest on that.
    JOYCAPSA device{};
    const bool read = ::joyGetDevCapsA(JOYSTICKID1, &device, sizeof device) == JOYERR_NOERROR;
    return caps_from_device(read, device.wXmin, device.wXmax, device.wPeriodMin, caps);
  }
  std::unique_ptr<JoystickReader> open_reader() override { return std::make_unique<WinmmReader>(); }
};

std::atomic<Joysticks*> replacement_joysticks{nullptr};

}  // namespace

Joysticks& joysticks() {
  static Joysticks* winmm_joysticks = new WinmmJoysticks;
  Joysticks* fake = replacement_joysticks.load(std::memory_order_acquire);
  return fake ? *fake : *winmm_joysticks;
}

void set_joysticks(Joysticks* replacement) {
  replacement_joysticks.store(replacement, std::memory_order_release);
}

}  // namespace platform
