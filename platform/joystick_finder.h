#pragma once

// Which input device is joystick 0, and when there is none, why: the one
// answer that the window, the server's sampling and capture-probe all give.
//
// Joystick 0 is the lowest-numbered /dev/input/eventN that is a joystick by
// the rule of is_joystick() and that we may read; when no joystick may be
// read, the lowest-numbered one that exists is joystick 0 and the answer says
// what keeps us from reading it. The user may choose another device, by path
// or by a part of its name, with the variable ORVANDELCASTER_JOYSTICK or the
// line "joystick = VALUE" of the settings file; then that device alone is
// joystick 0, and when it is absent there is none.
//
// Gathering the facts (scan_input_devices, read_joystick_choice) touches the
// file system; deciding (resolve_joystick_zero) only follows the links of a
// chosen path, and wording the answer is a plain function.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/evdev_joystick.h"
#include "platform/joystick_device.h"
#include "platform/unique_fd.h"

namespace platform {

inline constexpr char JOYSTICK_VARIABLE[] = "ORVANDELCASTER_JOYSTICK";

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

// The user's choice of joystick 0.
struct JoystickChoice {
  enum class Kind { LOWEST, PATH, NAME };
  Kind kind = Kind::LOWEST;
  std::string value;   // the path, or the part of the name (matched ignoring case)
  std::string origin;  // JOYSTICK_VARIABLE or the settings file; empty for LOWEST
};

// "chosen by ORVANDELCASTER_JOYSTICK" or "chosen in" and the settings file;
// empty for LOWEST.
std::string describe_choice(const JoystickChoice& choice);

// A value starting with '/' is a path, any other a part of a name; an empty
// (or all blank) value keeps the lowest-numbered joystick.
JoystickChoice choice_from_value(std::string_view value, std::string origin);

// The value of the line "joystick = VALUE" in the text of a settings file,
// without the blanks around it; blank lines and lines starting with '#' are
// skipped, other keys ignored, and the last "joystick" line wins.
std::optional<std::string> joystick_setting(std::string_view settings_text);

// ${XDG_CONFIG_HOME:-$HOME/.config}/orvandelcaster/settings.conf for these
// values of the two variables (a relative XDG_CONFIG_HOME counts as unset);
// empty when neither gives a place.
std::string settings_file_path(const char* xdg_config_home, const char* home);

// The choice from ORVANDELCASTER_JOYSTICK when it is set, else from the
// settings file, else LOWEST.
JoystickChoice read_joystick_choice();

// What joystick 0 is at one moment.
struct JoystickZero {
  enum class State {
    READY,           // device is joystick 0 and we may read it
    NO_JOYSTICK,     // no device is a joystick
    NOT_FOUND,       // the chosen device is not there
    NOT_A_JOYSTICK,  // the chosen path is a device, but no joystick
    UNREADABLE,      // device is joystick 0, but we may not read it
  };
  State state = State::NO_JOYSTICK;
  InputDevice device;  // for READY, NOT_A_JOYSTICK and UNREADABLE
};

// A chosen path is followed through its links as they are at this moment, so
// a /dev/input/by-id/ link names the node it points to now, also when the
// device was plugged in after the choice was read.
JoystickZero resolve_joystick_zero(const std::vector<InputDevice>& devices,
                                   const JoystickChoice& choice);

// The state in a few words: the device's name when it is ready, else "No
// joystick", "Joystick not found", "Not a joystick", "No permission" or
// "Cannot read joystick".
std::string joystick_state_title(const JoystickZero& zero);

// The longer line beside the title: the node in use and the choice behind it,
// or what to do about the state.
std::string joystick_state_detail(const JoystickZero& zero, const JoystickChoice& choice);

// Joystick 0 in words, as the window shows it: the title and the detail above.
JoystickStateText describe_joystick_zero(const JoystickZero& zero, const JoystickChoice& choice);

// Finds joystick 0 for one reader and remembers what it found. It looks at
// most once per retry interval, so a reader without a device finds one
// plugged in (or made readable) within that time, and a reader that lost its
// device (unplugged) looks again at once unless it found it less than an
// interval before.
class JoystickZeroFinder {
 public:
  using Clock = std::chrono::steady_clock;

  explicit JoystickZeroFinder(JoystickChoice choice, InputTree tree = InputTree{});

  // When a look is due at now: scans the devices and, when joystick 0 may be
  // read, opens it. The open device, or an invalid fd.
  UniqueFd find(Clock::time_point now);

  const JoystickZero& zero() const { return m_zero; }
  const JoystickChoice& choice() const { return m_choice; }

 private:
  JoystickChoice m_choice;
  InputTree m_tree;
  JoystickZero m_zero;
  OpenRetry m_retry;
};

}  // namespace platform
