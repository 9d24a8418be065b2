// Joystick 0 through the Windows multimedia joystick calls (winmm).

// <mmsystem.h> needs <windows.h> first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <atomic>
#include <cstring>
#include <string>

#include "platform/joystick_device.h"
#include "platform/multimedia_joystick.h"
#include "platform/winmm_joystick.h"

namespace platform {
namespace {

static_assert(JOYSTICK_ZERO_ID == JOYSTICKID1);

std::atomic<JoystickDevice*> replacement_device{nullptr};

class WinmmJoysticks final : public MultimediaJoysticks {
 public:
  unsigned id_count() override { return ::joyGetNumDevs(); }

  // Cleared first and the result checked: a failed call (no joystick) leaves
  // the record as it was, under Wine at least, and nothing may rest on that.
  bool capabilities(unsigned id, MultimediaJoystickCaps* caps) override {
    JOYCAPSA device{};
    if (::joyGetDevCapsA(id, &device, sizeof device) != JOYERR_NOERROR) return false;
    caps->name = std::string(device.szPname, ::strnlen(device.szPname, sizeof device.szPname));
    caps->axis_count = device.wNumAxes;
    caps->axes = {{'X', device.wXmin, device.wXmax}, {'Y', device.wYmin, device.wYmax}};
    if (device.wCaps & JOYCAPS_HASZ) caps->axes.push_back({'Z', device.wZmin, device.wZmax});
    if (device.wCaps & JOYCAPS_HASR) caps->axes.push_back({'R', device.wRmin, device.wRmax});
    if (device.wCaps & JOYCAPS_HASU) caps->axes.push_back({'U', device.wUmin, device.wUmax});
    if (device.wCaps & JOYCAPS_HASV) caps->axes.push_back({'V', device.wVmin, device.wVmax});
    caps->period_min = device.wPeriodMin;
    return true;
  }

  bool read_position(unsigned id, MultimediaPosition* position) override {
    JOYINFOEX reading{};
    reading.dwSize = sizeof reading;
    reading.dwFlags = JOY_RETURNALL;
    if (::joyGetPosEx(id, &reading) != JOYERR_NOERROR) return false;
    position->axes = {reading.dwXpos, reading.dwYpos, reading.dwZpos,
                      reading.dwRpos, reading.dwUpos, reading.dwVpos};
    position->buttons = reading.dwButtons;
    return true;
  }
};

}  // namespace

MultimediaJoysticks& multimedia_joysticks() {
  static WinmmJoysticks calls;
  return calls;
}

JoystickDevice& joystick_device() {
  static JoystickDevice* winmm_device = new MultimediaJoystickDevice(multimedia_joysticks());
  JoystickDevice* fake = replacement_device.load(std::memory_order_acquire);
  return fake ? *fake : *winmm_device;
}

void set_joystick_device(JoystickDevice* replacement) {
  replacement_device.store(replacement, std::memory_order_release);
}

}  // namespace platform
