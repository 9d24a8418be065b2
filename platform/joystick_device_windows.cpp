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
#include "platform/winmm_joystick.h"

namespace platform {
namespace {

static_assert(JOYSTICK_ZERO_ID == JOYSTICKID1);

class WinmmReader final : public JoystickReader {
 public:
  int read(JoystickState* state) override {
    JOYINFOEX reading{};
    reading.dwSize = sizeof reading;
    reading.dwFlags = JOY_RETURNALL;
    if (::joyGetPosEx(JOYSTICK_ZERO_ID, &reading) != JOYERR_NOERROR) {
      *state = CENTRED_STATE;
      m_present = false;
      return -1;
    }
    *state = JoystickState{reading.dwXpos, reading.dwYpos, reading.dwZpos, reading.dwRpos,
                           reading.dwButtons};
    // The product's name, asked once each time the joystick (re)appears.
    if (!m_present) m_name = product_name();
    m_present = true;
    return 0;
  }

  // The multimedia calls name no device node: whether joystick 0 answers, and
  // its product's name.
  JoystickStatus status() const override {
    JoystickStatus status;
    if (m_present) {
      status.state = JoystickStatus::State::READY;
      status.name = m_name;
    }
    return status;
  }

 private:
  static std::string product_name() {
    JOYCAPSA device{};
    if (::joyGetDevCapsA(JOYSTICK_ZERO_ID, &device, sizeof device) != JOYERR_NOERROR) return {};
    return std::string(device.szPname, ::strnlen(device.szPname, sizeof device.szPname));
  }

  bool m_present = false;
  std::string m_name;
};

class WinmmJoystickDevice final : public JoystickDevice {
 public:
  int get_capabilities(JoystickCapabilities* caps) override {
    // Cleared first and the result checked: a failed call (no joystick) leaves
    // the record as it was, under Wine at least, and nothing may rest on that.
    JOYCAPSA device{};
    const bool read = ::joyGetDevCapsA(JOYSTICK_ZERO_ID, &device, sizeof device) == JOYERR_NOERROR;
    return capabilities_from_device(read, device.wXmin, device.wXmax, device.wPeriodMin, caps);
  }
  std::unique_ptr<JoystickReader> open_reader() override { return std::make_unique<WinmmReader>(); }
};

std::atomic<JoystickDevice*> replacement_device{nullptr};

class WinmmJoysticks final : public MultimediaJoysticks {
 public:
  unsigned id_count() override { return ::joyGetNumDevs(); }

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
    return true;
  }

  bool answers(unsigned id) override {
    JOYINFOEX reading{};
    reading.dwSize = sizeof reading;
    reading.dwFlags = JOY_RETURNALL;
    return ::joyGetPosEx(id, &reading) == JOYERR_NOERROR;
  }

  bool position(unsigned id, MultimediaPosition* position) override {
    JOYINFOEX reading{};
    reading.dwSize = sizeof reading;
    reading.dwFlags = JOY_RETURNALL;
    if (::joyGetPosEx(id, &reading) != JOYERR_NOERROR) return false;
    position->axes = {reading.dwXpos, reading.dwYpos, reading.dwZpos,
                      reading.dwRpos, reading.dwUpos, reading.dwVpos};
    return true;
  }
};

}  // namespace

JoystickDevice& joystick_device() {
  static JoystickDevice* winmm_device = new WinmmJoystickDevice;
  JoystickDevice* fake = replacement_device.load(std::memory_order_acquire);
  return fake ? *fake : *winmm_device;
}

MultimediaJoysticks& multimedia_joysticks() {
  static WinmmJoysticks calls;
  return calls;
}

void set_joystick_device(JoystickDevice* replacement) {
  replacement_device.store(replacement, std::memory_order_release);
}

}  // namespace platform
