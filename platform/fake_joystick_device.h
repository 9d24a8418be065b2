#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/joystick_choice.h"
#include "platform/joystick_device.h"
#include "platform/joystick_resolution.h"
#include "platform/unique_fd.h"

namespace platform {

// A joystick 0 for tests, with any capabilities and positions. Every reader
// opened from it sees the state the test set last; safe to change from the
// test's thread while the server thread or a window reads. Install with
// set_joystick_device(&fake), or use ScopedFakeJoystickDevice.
class FakeJoystickDevice : public JoystickDevice {
 public:
  FakeJoystickDevice();

  void set_capabilities(const JoystickCapabilities& caps);
  // Raw positions as the driver reports them (0..65535 on Linux, any value here).
  void set_axes(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t r);
  void set_buttons(std::uint32_t buttons);
  // Makes the fake a device with these absolute axes (raw values in its own
  // units), read through the user's mapping as a real device is: from then on
  // every reading is map_device_axes of these under the settings file's
  // mapping (or a reader's preview), and set_axes no longer applies.
  void set_device_axes(std::vector<DeviceAxis> axes);
  // An absent joystick reads centred with no button and reports failure,
  // and its state is NO_JOYSTICK.
  void set_present(bool present);
  // What a present joystick 0 is in words (by default a device called
  // "Fake Joystick" at /dev/input/event0). A zero that is not READY makes
  // the joystick absent; a READY one makes it present.
  void set_zero(const JoystickZero& zero, const JoystickChoice& choice = {});
  // How many readings all readers have taken.
  int reads() const;

  // An event arrives: the event descriptor of a present joystick becomes
  // readable until a reader drains it.
  void post_event();
  // The folders a window watches for device changes (none by default).
  void set_watched_folders(std::vector<std::string> folders);
  // How many times readers were told to look again.
  int look_agains() const;

  int get_capabilities(JoystickCapabilities* caps) override;
  std::unique_ptr<JoystickReader> open_reader() override;
  std::vector<std::string> watched_folders() override;

 private:
  class Reader;
  mutable std::mutex m_mutex;
  JoystickCapabilities m_caps = FIXED_CAPABILITIES;
  JoystickState m_state = CENTRED_STATE;
  std::optional<std::vector<DeviceAxis>> m_deviceAxes;
  bool m_present = true;
  JoystickZero m_zero;
  JoystickChoice m_choice;
  int m_reads = 0;
  int m_lookAgains = 0;
  std::vector<std::string> m_watchedFolders;
  UniqueFd m_events;  // an eventfd: the joystick's event queue, shared by its readers
};

class ScopedFakeJoystickDevice : public FakeJoystickDevice {
 public:
  ScopedFakeJoystickDevice() { set_joystick_device(this); }
  ~ScopedFakeJoystickDevice() override { set_joystick_device(nullptr); }
  ScopedFakeJoystickDevice(const ScopedFakeJoystickDevice&) = delete;
  ScopedFakeJoystickDevice& operator=(const ScopedFakeJoystickDevice&) = delete;
};

}  // namespace platform
