#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/axis_mapping.h"

// What capture-probe asks of the system it runs on; one file per system.
namespace probe {

// The name of the user running the probe, as it identifies itself to a
// server; empty when the system does not say.
std::string user_name();

// Whether out is a terminal, so watch may redraw one screen.
bool is_terminal(std::FILE* out);

// The listing of `capture-probe devices`: true with the text in *listing, or
// false with the line that says why there is none in *refusal.
bool list_devices(std::string* listing, std::string* refusal);

// The device whose absolute axes `capture-probe axes` shows live.
class AxesSource {
 public:
  virtual ~AxesSource() = default;
  // The device for people: its node and name, or what it is to the system.
  virtual std::string title() const = 0;
  virtual platform::AxisNaming naming() const = 0;
  // The axes as they are now, without waiting: true, or false with the line
  // that says why in *error (the device went away).
  virtual bool read(std::vector<platform::DeviceAxis>* axes, std::string* error) = 0;
};

// The device that device names (a path, or a part of a device's name; empty:
// joystick 0), opened and read once; null with the line that says why in
// *refusal when there is no such device, it is no input device or it has no
// absolute axes.
std::unique_ptr<AxesSource> open_axes_source(const std::string& device, std::string* refusal);

}  // namespace probe
