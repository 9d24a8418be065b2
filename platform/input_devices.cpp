#include "platform/input_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/settings_file.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr char EVENT_PREFIX[] = "event";
// The sysfs capability files print the kernel's unsigned longs.
constexpr unsigned SYSFS_WORD_BITS = sizeof(unsigned long) * CHAR_BIT;

// N of an "eventN" name, or -1 for any other name.
int event_number(const char* name) {
  const std::size_t prefix = sizeof EVENT_PREFIX - 1;
  if (std::strncmp(name, EVENT_PREFIX, prefix) != 0) return -1;
  const char* digits = name + prefix;
  if (*digits < '0' || *digits > '9') return -1;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(digits, &end, 10);
  if (*end != '\0' || errno != 0 || number > INT_MAX) return -1;
  return static_cast<int>(number);
}

// The first line of a small text file, without its blanks; nullopt when unreadable.
std::optional<std::string> read_line(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::string line;
  std::getline(file, line);
  return std::string(trim_blanks(line));
}

// Fills bits (size bytes) from a sysfs capability file: hexadecimal words,
// the most significant first. False when the file cannot be read or parsed.
bool read_sysfs_bits(const std::string& path, std::uint8_t* bits, std::size_t size) {
  std::optional<std::string> line = read_line(path);
  if (!line) return false;
  std::istringstream words(*line);
  std::vector<unsigned long> values;
  std::string word;
  while (words >> word) {
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(word.c_str(), &end, 16);
    if (*end != '\0' || errno != 0) return false;
    values.push_back(value);
  }
  if (values.empty()) return false;
  std::memset(bits, 0, size);
  std::reverse(values.begin(), values.end());
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (unsigned bit = 0; bit < SYSFS_WORD_BITS; ++bit) {
      if (((values[i] >> bit) & 1) == 0) continue;
      std::size_t code = i * SYSFS_WORD_BITS + bit;
      if (code / 8 < size) bits[code / 8] |= static_cast<std::uint8_t>(1u << (code % 8));
    }
  }
  return true;
}

bool read_sysfs_capabilities(const std::string& device_dir, EvdevCapabilities* caps) {
  *caps = EvdevCapabilities{};
  const std::string dir = device_dir + "/capabilities/";
  if (!read_sysfs_bits(dir + "ev", caps->events, sizeof caps->events)) return false;
  // A device without absolute axes or keys has no such file worth reading;
  // the bits then stay clear.
  read_sysfs_bits(dir + "abs", caps->axes, sizeof caps->axes);
  read_sysfs_bits(dir + "key", caps->keys, sizeof caps->keys);
  return true;
}

std::string group_name(gid_t gid) {
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
  return found->gr_name ? found->gr_name : "";
}

// The device eventN, or nullopt when it went away while we looked.
std::optional<InputDevice> describe_device(const std::string& dev_dir, const InputTree& tree,
                                           int number) {
  InputDevice device;
  device.number = number;
  const std::string node = EVENT_PREFIX + std::to_string(number);
  device.path = dev_dir + "/" + node;

  struct stat status {};
  if (::stat(device.path.c_str(), &status) != 0) return std::nullopt;
  device.group = group_name(status.st_gid);
  device.group_may_read = (status.st_mode & S_IRGRP) != 0;

  // Non-blocking: only ioctls are made here, and nothing may wait on a
  // special file that is not an input device.
  UniqueFd fd(::open(device.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    if (errno == ENOENT || errno == ENODEV) return std::nullopt;
    device.open_error = errno;
  } else if (read_evdev_capabilities(fd.get(), &device.capabilities) == 0) {
    device.capabilities_known = true;
    char name[256] = {};
    if (::ioctl(fd.get(), EVIOCGNAME(sizeof name - 1), name) >= 0) device.name = name;
  }

  const std::string sys_device = tree.sys_dir + "/" + node + "/device";
  if (!device.capabilities_known) {
    device.capabilities_known = read_sysfs_capabilities(sys_device, &device.capabilities);
  }
  if (device.name.empty()) device.name = read_line(sys_device + "/name").value_or("");
  return device;
}

}  // namespace

std::string canonical_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

int read_evdev_capabilities(int fd, EvdevCapabilities* caps) {
  *caps = EvdevCapabilities{};
  if (::ioctl(fd, EVIOCGBIT(0, sizeof caps->events), caps->events) < 0) return -1;
  if (::ioctl(fd, EVIOCGBIT(EV_ABS, sizeof caps->axes), caps->axes) < 0) return -1;
  if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof caps->keys), caps->keys) < 0) return -1;
  return 0;
}

const char* why_not_joystick(const InputDevice& device) {
  if (!device.capabilities_known) return "its capabilities cannot be read";
  return why_not_joystick(device.capabilities);
}

std::vector<InputDevice> scan_input_devices(const InputTree& tree) {
  std::vector<InputDevice> devices;
  const std::string dev_dir = canonical_path(tree.dev_dir);
  DIR* dir = ::opendir(dev_dir.c_str());
  if (!dir) return devices;
  while (const dirent* entry = ::readdir(dir)) {
    int number = event_number(entry->d_name);
    if (number < 0) continue;
    if (auto device = describe_device(dev_dir, tree, number)) devices.push_back(*device);
  }
  ::closedir(dir);
  std::sort(devices.begin(), devices.end(),
            [](const InputDevice& a, const InputDevice& b) { return a.number < b.number; });
  return devices;
}

}  // namespace platform
