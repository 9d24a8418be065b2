#pragma once

// What the monitor window shows on each tick, computed once for the Qt and
// the Win32 window; each only draws it on its controls.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/joystick_state_text.h"
#include "platform/joystick_device.h"

// An indicator colour as red, green and blue, 0 to 255.
struct IndicatorColour {
  std::uint8_t red, green, blue;
};
// Pure blue: the bars, the cell behind their value and pressed buttons.
inline constexpr IndicatorColour INDICATOR_FILL{0, 0, 255};
// The bars' value, on the blue cell.
inline constexpr IndicatorColour INDICATOR_TEXT{255, 255, 255};

// The value one indicator control shows.
struct AxisBarValue {
  int control_id;
  std::int32_t raw;
  float range;  // the raw value the bar fills its control at, as it stands at this tick
};
struct ButtonBoxValue {
  int control_id;
  bool pressed;
};

struct MonitorView {
  std::array<AxisBarValue, 4> bars;       // X, Y, Rudder (the R axis), Thrust (the Z axis)
  std::array<ButtonBoxValue, 8> buttons;  // buttons 1 to 8; higher ones are not shown
  JoystickStateText state;
};

// The monitor's own handle on joystick 0 and what it makes of each reading.
class MonitorModel {
 public:
  // Opens the model's reader on joystick 0 (platform::joystick_device()).
  MonitorModel();
  ~MonitorModel();
  MonitorModel(const MonitorModel&) = delete;
  MonitorModel& operator=(const MonitorModel&) = delete;

  // Reads joystick 0 once. A failed read shows a centred reading with no
  // button, and the state says why.
  MonitorView tick();

  // Where the system tells when joystick 0 has news (platform::JoystickReader):
  // the descriptor to wait on, -1 when there is none.
  int event_descriptor() const;
  // Drops the queued events: true when a reading is due.
  bool drain_events();
  // The devices or the settings changed: the next tick looks for joystick 0 anew.
  void look_again();
  // The folders whose changes may change joystick 0 (platform::JoystickDevice).
  static std::vector<std::string> watched_folders();

  // The display timer's period: twice joystick 0's minimum polling period.
  static unsigned poll_period_ms(const platform::JoystickCapabilities& caps);

  // True for the system command that opens the About box, with any of the
  // low four bits the system may set.
  static bool is_about_command(unsigned command);
  // The same for the command that opens the calibration dialog.
  static bool is_calibrate_command(unsigned command);

  // The model's own reader, for the calibration dialog: it reads the
  // device's axes and previews a mapping on the bars this model shows.
  platform::JoystickReader& joystick() { return *m_joystick; }

 private:
  std::unique_ptr<platform::JoystickReader> m_joystick;
};
