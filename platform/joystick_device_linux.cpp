// Joystick 0 through Linux evdev: the ioctls, and nothing decided here that
// evdev_joystick.h can decide without a device.

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/evdev_joystick.h"
#include "platform/joystick_device.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr char INPUT_DIR[] = "/dev/input";
constexpr char EVENT_PREFIX[] = "event";

// N of an "eventN" name, or -1 for any other name.
long event_number(const char* name) {
  const std::size_t prefix = sizeof EVENT_PREFIX - 1;
  if (std::strncmp(name, EVENT_PREFIX, prefix) != 0) return -1;
  const char* digits = name + prefix;
  if (*digits < '0' || *digits > '9') return -1;
  char* end = nullptr;
  long number = std::strtol(digits, &end, 10);
  return *end == '\0' ? number : -1;
}

// 0, or -1 when the device does not answer (not an evdev node, or gone).
int read_capabilities(int fd, EvdevCapabilities* caps) {
  *caps = EvdevCapabilities{};
  if (::ioctl(fd, EVIOCGBIT(0, sizeof caps->events), caps->events) < 0) return -1;
  if (::ioctl(fd, EVIOCGBIT(EV_ABS, sizeof caps->axes), caps->axes) < 0) return -1;
  if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof caps->keys), caps->keys) < 0) return -1;
  return 0;
}

// An open joystick 0 and what its capabilities decided once.
struct OpenJoystick {
  UniqueFd fd;
  JoystickAxes axes{NO_AXIS, NO_AXIS, NO_AXIS, NO_AXIS};
  ButtonOrder buttons{};
};

// Tries one event device: a joystick, or an invalid fd when it is none or
// cannot be opened (permissions, gone since the directory was read).
OpenJoystick open_if_joystick(const char* name) {
  OpenJoystick joystick;
  char path[sizeof INPUT_DIR + sizeof dirent::d_name];
  std::snprintf(path, sizeof path, "%s/%s", INPUT_DIR, name);
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return joystick;
  EvdevCapabilities caps;
  if (read_capabilities(fd.get(), &caps) < 0 || !is_joystick(caps)) return joystick;
  joystick.fd = std::move(fd);
  joystick.axes = choose_axes(caps);
  joystick.buttons = order_buttons(caps);
  return joystick;
}

// The lowest-numbered event device that is a joystick; fd stays invalid when
// there is none. The directory comes in no particular order, so only a node
// numbered below the best found so far is worth opening.
OpenJoystick open_joystick_zero() {
  OpenJoystick best;
  long best_number = -1;
  DIR* dir = ::opendir(INPUT_DIR);
  if (!dir) return best;
  while (const dirent* entry = ::readdir(dir)) {
    long number = event_number(entry->d_name);
    if (number < 0 || (best_number >= 0 && number > best_number)) continue;
    OpenJoystick candidate = open_if_joystick(entry->d_name);
    if (!candidate.fd.valid()) continue;
    best = std::move(candidate);
    best_number = number;
  }
  ::closedir(dir);
  return best;
}

// The axis scaled to 0..65535 from the absinfo of this very reading, so a
// recalibrated device is read with its new limits. -1 when the device is gone.
int read_axis(int fd, int code, std::uint32_t* position) {
  if (code == NO_AXIS) {
    *position = AXIS_CENTRED;
    return 0;
  }
  input_absinfo info{};
  if (::ioctl(fd, EVIOCGABS(static_cast<unsigned>(code)), &info) < 0) return -1;
  *position = scale_axis(info.value, info.minimum, info.maximum);
  return 0;
}

// Keeps errno as the caller had it: a missing device is a result here, not an
// error, and the server's report of a failed session must not name it.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : m_saved(errno) {}
  ~ErrnoKeeper() { errno = m_saved; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int m_saved;
};

class EvdevReader final : public JoystickReader {
 public:
  int read(JoystickState* state) override {
    ErrnoKeeper keep_errno;
    if (!m_joystick.fd.valid()) {
      const auto now = OpenRetry::Clock::now();
      if (m_retry.due(now)) {
        m_retry.attempted(now);
        m_joystick = open_joystick_zero();
      }
    }
    if (m_joystick.fd.valid() && read_state(state) == 0) return 0;
    if (m_joystick.fd.valid()) {
      // Unplugged: the descriptor will never answer again. Look for the
      // device anew, no sooner than a retry interval from now.
      m_joystick = OpenJoystick{};
      m_retry.attempted(OpenRetry::Clock::now());
    }
    *state = CENTRED_STATE;
    return -1;
  }

 private:
  // Current state through EVIOCGABS and EVIOCGKEY (the event queue is never
  // read). *state changes only when every call succeeded.
  int read_state(JoystickState* state) const {
    const int fd = m_joystick.fd.get();
    std::uint32_t x, y, z, r;
    if (read_axis(fd, m_joystick.axes.x, &x) < 0 || read_axis(fd, m_joystick.axes.y, &y) < 0 ||
        read_axis(fd, m_joystick.axes.z, &z) < 0 || read_axis(fd, m_joystick.axes.r, &r) < 0) {
      return -1;
    }
    std::uint8_t keys[KEY_BITS_SIZE] = {};
    if (::ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0) return -1;
    *state = JoystickState{x, y, z, r, button_mask(m_joystick.buttons, keys)};
    return 0;
  }

  OpenJoystick m_joystick;
  OpenRetry m_retry;
};

class LinuxJoystickDevice final : public JoystickDevice {
 public:
  int get_capabilities(JoystickCapabilities* caps) override {
    ErrnoKeeper keep_errno;
    // The scale is the same with or without a device, so the axis scale never
    // rests on a device being there at start.
    *caps = JoystickCapabilities{0, AXIS_SCALE_MAX, 10};
    return open_joystick_zero().fd.valid() ? 0 : -1;
  }
  std::unique_ptr<JoystickReader> open_reader() override { return std::make_unique<EvdevReader>(); }
};

std::atomic<JoystickDevice*> replacement_device{nullptr};

}  // namespace

JoystickDevice& joystick_device() {
  static JoystickDevice* linux_device = new LinuxJoystickDevice;
  JoystickDevice* fake = replacement_device.load(std::memory_order_acquire);
  return fake ? *fake : *linux_device;
}

void set_joystick_device(JoystickDevice* replacement) {
  replacement_device.store(replacement, std::memory_order_release);
}

}  // namespace platform
