#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/joystick_choice.h"

namespace platform {

// What the program needs to know about joystick 0 before it reads it.
struct JoystickCapabilities {
  std::uint32_t x_min;
  std::uint32_t x_max;
  std::uint32_t min_period_ms;  // the shortest sensible polling period
};

// 0 to 65535 and 10 ms: always on Linux, present device or not, and on
// Windows when no joystick answers, so the axis scale never rests on a
// device being there at start.
inline constexpr JoystickCapabilities FIXED_CAPABILITIES{0, 65535, 10};

// One reading of joystick 0. Axes run 0 to 65535; bit i of buttons is button i + 1.
// Where the driver has units of its own (the multimedia calls), an axis is
// its raw value, scaled by the X axis's limits as the program has always
// done, unless the user's mapping feeds its channel: then it is the position
// 0..65535 the mapping gives, and its bit in positions is set.
struct JoystickState {
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t z;  // third axis (throttle)
  std::uint32_t r;  // fourth axis (rudder)
  std::uint32_t buttons;
  std::uint32_t positions = 0;  // bit i: the channel of MappedAxis i is a position 0..65535
  bool operator==(const JoystickState&) const = default;
};

// The field of state that carries the channel of axis: X x, Y y, RUDDER r
// (the fourth axis), THRUST z (the third).
inline std::uint32_t& axis_of(JoystickState& state, MappedAxis axis) {
  switch (axis) {
    case MappedAxis::X:
      return state.x;
    case MappedAxis::Y:
      return state.y;
    case MappedAxis::RUDDER:
      return state.r;
    case MappedAxis::THRUST:
      break;
  }
  return state.z;
}
inline std::uint32_t axis_of(const JoystickState& state, MappedAxis axis) {
  return axis_of(const_cast<JoystickState&>(state), axis);
}

// Whether the channel's axis in state is a position 0..65535 (not a raw value).
inline bool is_position(const JoystickState& state, MappedAxis axis) {
  return (state.positions >> static_cast<unsigned>(axis)) & 1u;
}

// What an axis reads when there is no device, or the device lacks it.
inline constexpr std::uint32_t AXIS_CENTRED = 32767;
inline constexpr JoystickState CENTRED_STATE{AXIS_CENTRED, AXIS_CENTRED, AXIS_CENTRED, AXIS_CENTRED,
                                             0};

// What joystick 0 is at one reading, as facts; monitor/joystick_state_text.h
// puts them in words for the window and the tools.
struct JoystickStatus {
  enum class State {
    READY,           // joystick 0 is there and we may read it
    NO_JOYSTICK,     // no device is a joystick
    NOT_FOUND,       // the chosen device is not there
    NOT_A_JOYSTICK,  // the chosen path is a device, but no joystick
    UNREADABLE,      // joystick 0 is there, but we may not read it
  };
  State state = State::NO_JOYSTICK;
  std::string name;  // the device's (or product's) name; empty when unknown
  // The rest only where the system names its devices (Linux): the
  // multimedia calls tell no more than whether joystick 0 answers and its name.
  bool names_devices = false;
  std::string path;     // the node
  int open_error = 0;   // for UNREADABLE: the errno of opening the node
  // For NOT_A_JOYSTICK: the reason; for a recording that is NOT_FOUND: why
  // it cannot be played ("line 7: ...").
  std::string why_not;
  std::string group;    // for UNREADABLE: the node's group, empty when it has no name
  bool group_may_read = false;
  JoystickChoice choice;  // the user's choice behind the state
  // For READY: which axis feeds each channel (indexed by MappedAxis) and
  // whether the device has it, named as `naming` names axes.
  AxisNaming naming = AxisNaming::EVDEV;
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> axes{};
};

// A handle on joystick 0 for one reader. Each reader (the server thread's
// sampling, the monitor's timer) has its own and uses it from one thread.
class JoystickReader {
 public:
  virtual ~JoystickReader() = default;
  // Fills *state with the current state: 0, or -1 when there is no device
  // (then *state is CENTRED_STATE).
  virtual int read(JoystickState* state) = 0;
  // What joystick 0 was at the last reading: the device, or why there is none.
  virtual JoystickStatus status() const = 0;

  // Where the system tells when a device has news (Linux), a reader that
  // waits for it need not poll. The descriptor that becomes readable when
  // the open device has queued events or is unplugged; -1 without a device,
  // or where the system cannot tell.
  virtual int event_descriptor() const { return -1; }
  // Reads and drops the queued events, so that the descriptor waits for new
  // ones: true when any came or the device is gone (a reading is due).
  virtual bool drain_events() { return false; }
  // The devices or the user's settings may have changed: the next reading of
  // every reader of the process takes the user's choice anew and looks for
  // joystick 0 at once, however recently it looked.
  virtual void look_again() {}

  // Every absolute axis of the open device as it is now (raw values in the
  // device's units), for choosing and calibrating axes; empty without a device.
  virtual std::vector<DeviceAxis> read_device_axes() { return {}; }
  // Readings use mapping in place of the settings file's until it is called
  // with nullopt: the window's bars follow a mapping being edited before it
  // is saved. Only this reader is affected.
  virtual void preview_mapping(std::optional<AxisMapping> mapping) { (void)mapping; }

  // A capture client's session begins: a reader that plays a recording
  // plays it from its start at its next reading, so that every session gets
  // the performance as it was recorded. A device has nothing to restart.
  virtual void restart_playback() {}
};

// Joystick 0, behind the one seam a test can replace.
class JoystickDevice {
 public:
  virtual ~JoystickDevice() = default;
  // Fills *caps: 0, or -1 when there is no joystick 0 (the record is filled anyway).
  virtual int get_capabilities(JoystickCapabilities* caps) = 0;
  virtual std::unique_ptr<JoystickReader> open_reader() = 0;
  // The folders whose entries decide what joystick 0 is (the device nodes,
  // the settings file's); empty where the system cannot watch them.
  virtual std::vector<std::string> watched_folders() { return {}; }
};

JoystickDevice& joystick_device();
// Tests only: puts a fake device in place of the Linux one; nullptr puts it back.
void set_joystick_device(JoystickDevice* replacement);

}  // namespace platform
