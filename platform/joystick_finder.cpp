#include "platform/joystick_finder.h"

#include <fcntl.h>

#include <cerrno>

namespace platform {

JoystickZeroFinder::JoystickZeroFinder(JoystickChoice choice, InputTree tree)
    : m_choice(std::move(choice)), m_tree(std::move(tree)) {}

UniqueFd JoystickZeroFinder::find(Clock::time_point now, const AxisMapping& mapping) {
  if (!m_retry.due(now)) return UniqueFd{};
  m_retry.attempted(now);
  m_zero = resolve_joystick_zero(scan_input_devices(m_tree), m_choice, mapping);
  if (m_zero.state != JoystickZero::State::READY) return UniqueFd{};
  UniqueFd fd(::open(m_zero.device.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    // Gone or locked since the scan; the next look tells more.
    m_zero.state = JoystickZero::State::UNREADABLE;
    m_zero.device.open_error = errno;
  }
  return fd;
}

}  // namespace platform
