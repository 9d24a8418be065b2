#pragma once

// Joystick 0 over the multimedia joystick calls (Windows): the id the user
// chose, and each reading through the user's mapping. Written over the
// MultimediaJoysticks seam, so that it runs on any system with a fake.

#include <memory>
#include <optional>
#include <string>

#include "platform/joystick_device.h"
#include "platform/winmm_joystick.h"

namespace platform {

// The user's choice of joystick: the value of ORVANDELCASTER_JOYSTICK when it
// is set, else the line "joystick = N" of the settings file.
struct MultimediaChoice {
  // The id to read; nullopt when the value is no number from 1 to 16, and
  // then no joystick is read: none stands in for one the user chose.
  std::optional<unsigned> id = JOYSTICK_ZERO_ID;
  bool chosen = false;  // the user named one: absent, it is "not found"
  std::string origin;   // JOYSTICK_VARIABLE or the settings file; empty unless chosen
};

// The choice as it stands now. A value that is no joystick number is said
// once per process on standard error, naming where it came from.
MultimediaChoice read_multimedia_choice();

class MultimediaJoystickDevice final : public JoystickDevice {
 public:
  explicit MultimediaJoystickDevice(MultimediaJoysticks& calls) : m_calls(calls) {}
  // The chosen joystick's capabilities (capabilities_from_device).
  int get_capabilities(JoystickCapabilities* caps) override;
  // A reader that takes the choice and the mapping anew at most once a second.
  std::unique_ptr<JoystickReader> open_reader() override;

 private:
  MultimediaJoysticks& m_calls;
};

}  // namespace platform
