#pragma once

// The absolute axes of an input device as they are now, through the evdev
// ioctls: for listing a device's axes, watching them live and calibrating.
// Linux only.

#include <string>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/unique_fd.h"

namespace platform {

// The node at path opened for reading its state, without waiting and without
// becoming a controlling terminal: a FIFO or another special file opens at
// once and is then refused by read_evdev_axes. Invalid with errno when it
// cannot be opened.
UniqueFd open_input_node(const std::string& path);

// *axis (its code given) as the device reports it now: limits, flat, fuzz and
// value from EVIOCGABS, so a recalibrated device is read with its new limits.
// 0, or -1 with errno (the device is gone: ENODEV); *axis changes only on success.
int read_evdev_axis(int fd, DeviceAxis* axis);

// Every absolute axis of the open device fd, by code (EVIOCGBIT(EV_ABS), then
// EVIOCGABS of each): 0 with *axes filled (empty for a device without
// absolute axes), or -1 with errno when fd is no input device (ENOTTY,
// EINVAL) or the device is gone (ENODEV). *axes changes only on success.
int read_evdev_axes(int fd, std::vector<DeviceAxis>* axes);

}  // namespace platform
