#include "platform/winmm_joystick.h"

namespace platform {

// The same scale as a Linux device reports, so the axis range never rests on
// a record nothing filled.
constexpr JoystickCapabilities NO_DEVICE_CAPABILITIES = {0, 65535, 10};

int capabilities_from_device(bool read, std::uint32_t x_min, std::uint32_t x_max,
                             std::uint32_t period_min, JoystickCapabilities* caps) {
  if (!read) {
    *caps = NO_DEVICE_CAPABILITIES;
    return -1;
  }
  *caps = JoystickCapabilities{x_min, x_max, period_min};
  return 0;
}

}  // namespace platform
