#include "platform/fake_joystick_device.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

class FakeJoystickDevice::Reader final : public JoystickReader {
 public:
  explicit Reader(FakeJoystickDevice* owner) : m_owner(owner) {}

  int read(JoystickState* state) override {
    std::optional<std::vector<DeviceAxis>> device_axes;
    {
      std::lock_guard<std::mutex> lock(m_owner->m_mutex);
      ++m_owner->m_reads;
      if (!m_owner->m_present) {
        *state = CENTRED_STATE;
        return -1;
      }
      *state = m_owner->m_state;
      device_axes = m_owner->m_deviceAxes;
    }
    if (device_axes) {
      // Outside the lock: the settings file is read here, as a real reader does.
      const AxisMapping& mapping = m_mappingFile.current(AxisMappingFile::Clock::now());
      const MappedReading reading = map_device_axes(*device_axes, mapping, AxisNaming::EVDEV);
      for (MappedAxis axis : MAPPED_AXES)
        axis_of(*state, axis) = reading.positions[static_cast<std::size_t>(axis)];
      m_axes = reading.axes;
    } else {
      m_axes = FLIGHT_STICK_AXES;
    }
    return 0;
  }

  JoystickStatus status() const override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    JoystickZero zero = m_owner->m_zero;
    if (!m_owner->m_present && zero.state == JoystickZero::State::READY) zero = JoystickZero{};
    JoystickStatus status = joystick_status(zero, m_owner->m_choice);
    status.naming = AxisNaming::EVDEV;
    status.axes = m_axes;
    return status;
  }

  std::vector<DeviceAxis> read_device_axes() override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    if (!m_owner->m_present || !m_owner->m_deviceAxes) return {};
    return *m_owner->m_deviceAxes;
  }

  void preview_mapping(std::optional<AxisMapping> mapping) override {
    m_mappingFile.preview(std::move(mapping));
  }

  int event_descriptor() const override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    return m_owner->m_present ? m_owner->m_events.get() : -1;
  }

  bool drain_events() override {
    std::uint64_t count = 0;
    return ::read(m_owner->m_events.get(), &count, sizeof count) == sizeof count;
  }

  void look_again() override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    ++m_owner->m_lookAgains;
  }

 private:
  // Without raw axes the fake is a flight stick whose axes are all there.
  static constexpr std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> FLIGHT_STICK_AXES{
      {{0x00, true}, {0x01, true}, {0x07, true}, {0x06, true}}};  // ABS_X, Y, RUDDER, THROTTLE

  FakeJoystickDevice* m_owner;
  // Each reader has its own view of the settings, as each real reader does.
  AxisMappingFile m_mappingFile{AxisNaming::EVDEV};
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> m_axes = FLIGHT_STICK_AXES;
};

FakeJoystickDevice::FakeJoystickDevice() : m_events(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  m_zero.state = JoystickZero::State::READY;
  m_zero.device.number = 0;
  m_zero.device.path = "/dev/input/event0";
  m_zero.device.name = "Fake Joystick";
}

void FakeJoystickDevice::set_capabilities(const JoystickCapabilities& caps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_caps = caps;
}

void FakeJoystickDevice::set_axes(std::uint32_t x, std::uint32_t y, std::uint32_t z,
                                  std::uint32_t r) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_state.x = x;
  m_state.y = y;
  m_state.z = z;
  m_state.r = r;
}

void FakeJoystickDevice::set_device_axes(std::vector<DeviceAxis> axes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_deviceAxes = std::move(axes);
}

void FakeJoystickDevice::set_buttons(std::uint32_t buttons) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_state.buttons = buttons;
}

void FakeJoystickDevice::set_present(bool present) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_present = present;
}

void FakeJoystickDevice::set_zero(const JoystickZero& zero, const JoystickChoice& choice) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_zero = zero;
  m_choice = choice;
  m_present = zero.state == JoystickZero::State::READY;
}

int FakeJoystickDevice::reads() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_reads;
}

void FakeJoystickDevice::post_event() {
  const std::uint64_t one = 1;
  if (::write(m_events.get(), &one, sizeof one) != sizeof one) ADD_FAILURE() << "no event posted";
}

void FakeJoystickDevice::set_watched_folders(std::vector<std::string> folders) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_watchedFolders = std::move(folders);
}

int FakeJoystickDevice::look_agains() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lookAgains;
}

std::vector<std::string> FakeJoystickDevice::watched_folders() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_watchedFolders;
}

int FakeJoystickDevice::get_capabilities(JoystickCapabilities* caps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  *caps = m_caps;
  return m_present ? 0 : -1;
}

std::unique_ptr<JoystickReader> FakeJoystickDevice::open_reader() {
  return std::make_unique<Reader>(this);
}

}  // namespace platform
