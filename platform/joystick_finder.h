#pragma once

// Finds joystick 0 for one reader and remembers what it found. It looks at
// most once per retry interval, so a reader without a device finds one
// plugged in (or made readable) within that time, and a reader that lost its
// device (unplugged) looks again at once unless it found it less than an
// interval before.

#include <chrono>

#include "platform/evdev_joystick.h"
#include "platform/input_devices.h"
#include "platform/joystick_choice.h"
#include "platform/joystick_resolution.h"
#include "platform/unique_fd.h"

namespace platform {

class JoystickZeroFinder {
 public:
  using Clock = std::chrono::steady_clock;

  explicit JoystickZeroFinder(JoystickChoice choice, InputTree tree = InputTree{});

  // When a look is due at now: scans the devices and, when joystick 0 may be
  // read, opens it. The open device, or an invalid fd. A chosen device is
  // judged by the axes mapping uses.
  UniqueFd find(Clock::time_point now, const AxisMapping& mapping = AxisMapping{});

  const JoystickZero& zero() const { return m_zero; }
  const JoystickChoice& choice() const { return m_choice; }

 private:
  JoystickChoice m_choice;
  InputTree m_tree;
  JoystickZero m_zero;
  OpenRetry m_retry;
};

}  // namespace platform
