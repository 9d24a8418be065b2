#include "platform/winmm_joystick.h"

namespace platform {

int capabilities_from_device(bool read, std::uint32_t x_min, std::uint32_t x_max,
                             std::uint32_t period_min, JoystickCapabilities* caps) {
  if (!read) {
    *caps = FIXED_CAPABILITIES;
    return -1;
  }
  *caps = JoystickCapabilities{x_min, x_max, period_min};
  return 0;
}

}  // namespace platform
