#pragma once

#include <cstdint>
#include <memory>

#include "platform/joystick_finder.h"

namespace platform {

// Capabilities of joystick 0, in the units of the original driver. On Linux
// they are fixed (0 to 65535, 10 ms), present device or not.
struct JoyCaps {
  std::uint32_t wXmin;
  std::uint32_t wXmax;
  std::uint32_t wPeriodMin;  // milliseconds
};

// One reading of joystick 0, laid out as the original driver's 52-byte record.
// Axes run 0 to 65535; bit i of dwButtons is button i + 1.
struct JoyInfoEx {
  std::uint32_t dwSize;
  std::uint32_t dwFlags;
  std::uint32_t dwXpos;
  std::uint32_t dwYpos;
  std::uint32_t dwZpos;
  std::uint32_t dwRpos;
  std::uint32_t dwUpos;
  std::uint32_t dwVpos;
  std::uint32_t dwButtons;
  std::uint32_t dwButtonNumber;
  std::uint32_t dwPOV;
  std::uint32_t dwReserved1;
  std::uint32_t dwReserved2;
};
static_assert(sizeof(JoyInfoEx) == 52);

inline constexpr std::uint32_t JOYINFOEX_SIZE = 52;
inline constexpr std::uint32_t JOY_RETURNALL = 255;
// What an axis reads when there is no device, or the device lacks it.
inline constexpr std::uint32_t JOY_AXIS_CENTRED = 32767;

// A handle on joystick 0 for one reader. Each reader (the server thread's
// sampling, the monitor's timer) has its own and uses it from one thread.
class JoystickReader {
 public:
  virtual ~JoystickReader() = default;
  // Fills the position fields and dwButtons of *info with the current state:
  // 0, or -1 when there is no device (then every axis reads JOY_AXIS_CENTRED
  // and no button is pressed).
  virtual int get_pos(JoyInfoEx* info) = 0;
  // What joystick 0 was at the last reading, in words for the window: the
  // device's name and node, or why there is none.
  virtual JoystickStateText state_text() const = 0;
};

class Joysticks {
 public:
  virtual ~Joysticks() = default;
  // Fills *caps: 0, or -1 when there is no joystick 0 (the record is filled anyway).
  virtual int get_caps(JoyCaps* caps) = 0;
  virtual std::unique_ptr<JoystickReader> open_reader() = 0;
};

Joysticks& joysticks();
// Tests only: puts a fake device in place of the Linux one; nullptr puts it back.
void set_joysticks(Joysticks* replacement);

}  // namespace platform
