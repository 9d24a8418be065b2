#include "platform/evdev_axes.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include "platform/evdev_joystick.h"

namespace platform {

UniqueFd open_input_node(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

int read_evdev_axis(int fd, DeviceAxis* axis) {
  input_absinfo info{};
  if (::ioctl(fd, EVIOCGABS(static_cast<unsigned>(axis->code)), &info) < 0) return -1;
  *axis = DeviceAxis{axis->code, info.minimum, info.maximum, info.flat, info.fuzz, info.value};
  return 0;
}

int read_evdev_axes(int fd, std::vector<DeviceAxis>* axes) {
  std::uint8_t bits[ABS_BITS_SIZE] = {};
  if (::ioctl(fd, EVIOCGBIT(EV_ABS, sizeof bits), bits) < 0) return -1;
  std::vector<DeviceAxis> read;
  for (unsigned code = 0; code <= ABS_MAX; ++code) {
    if (!evdev_bit_set(bits, sizeof bits, code)) continue;
    read.push_back(DeviceAxis{static_cast<int>(code), 0, 0, 0, 0, 0});
    if (read_evdev_axis(fd, &read.back()) < 0) return -1;
  }
  *axes = std::move(read);
  return 0;
}

}  // namespace platform
