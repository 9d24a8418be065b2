#pragma once

// The input devices of this machine, as far as we can tell without reading
// their events: every /dev/input/eventN, whether we may read it, its name and
// capabilities. The facts joystick_resolution.h decides on.

#include <string>
#include <vector>

#include "platform/evdev_joystick.h"

namespace platform {

// Where input devices are: their nodes, and the kernel's description of each
// (name and capabilities), which everyone may read even where the node is not.
struct InputTree {
  std::string dev_dir = "/dev/input";
  std::string sys_dir = "/sys/class/input";
};

// One /dev/input/eventN as far as we can tell without reading its events.
struct InputDevice {
  int number = -1;     // N
  std::string path;    // the node, dev_dir/eventN
  std::string name;    // the kernel's name for it; empty when unknown
  int open_error = 0;  // 0 when we may read the node, else the errno of opening it
  bool capabilities_known = false;
  EvdevCapabilities capabilities{};
  // Who else may read the node, for the hint when we may not.
  std::string group;  // the node's group, empty when it has no name
  bool group_may_read = false;

  bool readable() const { return open_error == 0; }
};

// Why device is not a joystick, for people; null when it is one.
const char* why_not_joystick(const InputDevice& device);

// Every eventN node of tree, by number; empty when there is none (or no
// dev_dir at all). Each node is opened to learn whether we may read it and,
// when we may, asked for its name and capabilities; for a node we may not
// read, both come from sys_dir.
std::vector<InputDevice> scan_input_devices(const InputTree& tree = InputTree{});

// The event types, absolute axes and keys of the open device fd (EVIOCGBIT):
// 0, or -1 when fd is no input device (or it is gone).
int read_evdev_capabilities(int fd, EvdevCapabilities* caps);

// The path with every link resolved, or the path as given when it does not resolve.
std::string canonical_path(const std::string& path);

}  // namespace platform
