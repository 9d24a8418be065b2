#pragma once

// A /dev/input and a /sys/class/input in a temporary folder, for tests of
// what the scan finds and what is made of it.

#include <grp.h>
#include <sys/types.h>

#include <filesystem>
#include <string>

#include "platform/input_devices.h"

namespace platform {

// Capability words as the kernel prints them under sysfs for real devices.
struct SysfsCapabilities {
  const char* ev;
  const char* abs;
  const char* key;
};
// X, Y, THROTTLE, RUDDER; BTN_TRIGGER to BTN_BASE6.
inline constexpr SysfsCapabilities FLIGHT_STICK = {"b", "c3", "fff00000000 0 0 0 0"};
// X, Y, Z, RX, RY, RZ, hat; BTN_SOUTH and on: the top bits of a whole 64-bit word.
inline constexpr SysfsCapabilities GAMEPAD = {"20000b", "3003f", "7fdb000000000000 0 0 0 0"};
// X, Y and touches; BTN_LEFT and finger tools, no joystick button.
inline constexpr SysfsCapabilities TOUCHPAD = {"b", "660800011000003", "e520 10000 0 0 0 0"};
inline constexpr SysfsCapabilities KEYBOARD = {"120013", "", "ffefffdfffff fffffffffffffffe"};

// A /dev/input and a /sys/class/input in a temporary folder. The nodes are
// plain files: opening them works (or not, by their mode), and what a device
// would answer to its ioctls comes from the sysfs files, as for a node we may
// not open.
class FakeInputTree {
 public:
  FakeInputTree();
  ~FakeInputTree();
  FakeInputTree(const FakeInputTree&) = delete;
  FakeInputTree& operator=(const FakeInputTree&) = delete;

  InputTree tree() const {
    return {(m_root / "dev/input").string(), (m_root / "sys/class/input").string()};
  }
  std::string node(int number) const {
    return (m_root / "dev/input" / ("event" + std::to_string(number))).string();
  }
  std::filesystem::path root() const { return m_root; }

  // Node eventN of name and caps, with the node's mode and group.
  void add(int number, const char* name, SysfsCapabilities caps, mode_t mode = 0644, gid_t gid = 0);

 private:
  std::filesystem::path m_root;
};

// A group other than root's and nobody's, for a node that a group may read;
// null when the system has none.
const ::group* some_other_group();

}  // namespace platform
