#include "platform/winmm_joystick.h"

namespace platform {

// The same scale as a Linux device reports, so the axis range never rests on
// a record nothing filled.
constexpr JoyCaps NO_DEVICE_CAPS = {0, 65535, 10};

int caps_from_device(bool read, std::uint32_t x_min, std::uint32_t x_max,
                     std::uint32_t period_min, JoyCaps* caps) {
  if (!read) {
    *caps = NO_DEVICE_CAPS;
    return -1;
  }
  *caps = JoyCaps{x_min, x_max, period_min};
  return 0;
}

}  // namespace platform
