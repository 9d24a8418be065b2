// Joystick 0 through Linux evdev: the ioctls, and nothing decided here that
// evdev_joystick.h or joystick_resolution.h can decide without a device.

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/axis_mapping.h"
#include "platform/errno_keeper.h"
#include "platform/evdev_axes.h"
#include "platform/evdev_joystick.h"
#include "platform/input_devices.h"
#include "platform/joystick_choice.h"
#include "platform/joystick_device.h"
#include "platform/joystick_finder.h"
#include "platform/joystick_resolution.h"
#include "platform/recording_reader.h"
#include "platform/settings_file.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// An open joystick 0 and what its capabilities decided once.
struct OpenJoystick {
  UniqueFd fd;
  std::vector<DeviceAxis> axes;  // its absolute axes (codes; the rest read anew each time)
  ButtonOrder buttons{};
};

// The device fd as joystick 0; fd stays invalid when it does not answer.
OpenJoystick prepare_joystick(UniqueFd fd) {
  OpenJoystick joystick;
  EvdevCapabilities caps;
  if (!fd.valid() || read_evdev_capabilities(fd.get(), &caps) < 0) return joystick;
  joystick.fd = std::move(fd);
  joystick.axes = absolute_axes(caps);
  joystick.buttons = order_buttons(caps);
  return joystick;
}

// The axes of joystick whose code is among codes (all of them without codes)
// as they are at this very reading. -1 when the device is gone.
int read_axes(OpenJoystick* joystick, const std::array<int, MAPPED_AXIS_COUNT>* codes = nullptr) {
  for (DeviceAxis& axis : joystick->axes) {
    if (codes && std::find(codes->begin(), codes->end(), axis.code) == codes->end()) continue;
    if (read_evdev_axis(joystick->fd.get(), &axis) < 0) return -1;
  }
  return 0;
}

// How many times a reader was told to look again (JoystickReader::look_again).
std::atomic<unsigned> looks_again{0};

// Each call keeps errno as the caller had it: a missing device is a result
// here, not an error, and the server's report of a failed session must not
// name it.
class EvdevReader final : public JoystickReader {
 public:
  // The user's choice is read once, when the reader is made.
  EvdevReader() : m_finder(read_joystick_choice()) {}

  int read(JoystickState* state) override {
    ErrnoKeeper keep_errno;
    if (m_lookedAgain != looks_again.load(std::memory_order_relaxed)) start_anew();
    const auto now = JoystickZeroFinder::Clock::now();
    const AxisMapping& mapping = m_mappingFile.current(now);
    if (!m_joystick.fd.valid()) {
      UniqueFd found = m_finder.find(now, mapping);
      if (found.valid()) m_joystick = prepare_joystick(std::move(found));
    }
    if (m_joystick.fd.valid()) {
      if (read_state(mapping, state) == 0) return 0;
      // Unplugged: the descriptor will never answer again; the finder looks
      // for joystick 0 anew.
      m_joystick = OpenJoystick{};
    }
    *state = CENTRED_STATE;
    return -1;
  }

  JoystickStatus status() const override {
    JoystickStatus status = joystick_status(m_finder.zero(), m_finder.choice());
    status.naming = AxisNaming::EVDEV;
    status.axes = m_axes;
    return status;
  }

  std::vector<DeviceAxis> read_device_axes() override {
    ErrnoKeeper keep_errno;
    if (!m_joystick.fd.valid() || read_axes(&m_joystick) < 0) return {};
    return m_joystick.axes;
  }

  void preview_mapping(std::optional<AxisMapping> mapping) override {
    m_mappingFile.preview(std::move(mapping));
  }

  int event_descriptor() const override { return m_joystick.fd.get(); }

  bool drain_events() override {
    ErrnoKeeper keep_errno;
    if (!m_joystick.fd.valid()) return false;
    bool any = false;
    input_event events[64];
    for (;;) {
      const ssize_t got = ::read(m_joystick.fd.get(), events, sizeof events);
      if (got > 0) {
        any = true;
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      // EAGAIN: the queue is empty; anything else (ENODEV): the device is
      // gone, which the next reading finds out.
      return any || (got < 0 && errno != EAGAIN);
    }
  }

  // Every reader of the process starts anew, so that the server's sampling
  // follows the change as the window does.
  void look_again() override { looks_again.fetch_add(1, std::memory_order_relaxed); }

 private:
  // Current state through EVIOCGABS and EVIOCGKEY (the event queue is never
  // read), the axes through mapping. *state changes only when every call succeeded.
  // Only the axes the channels read are asked for: a reading is on the path
  // of every data request, and a device may have dozens of axes.
  int read_state(const AxisMapping& mapping, JoystickState* state) {
    const auto codes = mapped_axis_codes(m_joystick.axes, mapping, AxisNaming::EVDEV);
    if (read_axes(&m_joystick, &codes) < 0) return -1;
    std::uint8_t keys[KEY_BITS_SIZE] = {};
    if (::ioctl(m_joystick.fd.get(), EVIOCGKEY(sizeof keys), keys) < 0) return -1;
    const MappedReading reading = map_device_axes(m_joystick.axes, mapping, codes);
    JoystickState read{};
    for (MappedAxis axis : MAPPED_AXES)
      axis_of(read, axis) = reading.positions[static_cast<std::size_t>(axis)];
    read.buttons = button_mask(m_joystick.buttons, keys);
    *state = read;
    m_axes = reading.axes;
    return 0;
  }

  // The open device may no longer be joystick 0 (the choice names another),
  // so it is found anew like any other. The mapping is read anew too: a
  // window resting on an idle stick reads once when the settings file changes.
  void start_anew() {
    m_lookedAgain = looks_again.load(std::memory_order_relaxed);
    m_joystick = OpenJoystick{};
    m_finder = JoystickZeroFinder(read_joystick_choice());
    m_mappingFile.read_again();
  }

  OpenJoystick m_joystick;
  JoystickZeroFinder m_finder;
  AxisMappingFile m_mappingFile{AxisNaming::EVDEV};  // previews the window's mapping being edited
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> m_axes{};  // of the last reading
  unsigned m_lookedAgain = looks_again.load(std::memory_order_relaxed);
};

class LinuxJoystickDevice final : public JoystickDevice {
 public:
  int get_capabilities(JoystickCapabilities* caps) override {
    ErrnoKeeper keep_errno;
    static_assert(FIXED_CAPABILITIES.x_max == AXIS_SCALE_MAX);
    *caps = FIXED_CAPABILITIES;
    AxisMappingFile mapping(AxisNaming::EVDEV);
    JoystickZero zero = resolve_joystick_zero(scan_input_devices(), read_joystick_choice(),
                                              mapping.current(AxisMappingFile::Clock::now()));
    return zero.state == JoystickZero::State::READY ? 0 : -1;
  }
  std::unique_ptr<JoystickReader> open_reader() override {
    // Reading the user's choice may look for a settings file that is not there.
    ErrnoKeeper keep_errno;
    return follow_joystick_choice([] { return std::make_unique<EvdevReader>(); });
  }
  std::vector<std::string> watched_folders() override {
    std::vector<std::string> folders{InputTree{}.dev_dir};
    const std::string settings = settings_file_path();
    if (settings.empty()) return folders;
    folders.push_back(std::filesystem::path(settings).parent_path().string());
    // A settings file that is a link changes where its target lies: that
    // folder is watched too, so an edit of the target applies at once.
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(settings, error);
    if (!error && target.parent_path() != std::filesystem::path(folders.back())) {
      folders.push_back(target.parent_path().string());
    }
    return folders;
  }
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
