// Prints one reading of joystick 0 through the platform layer, for checks on a
// machine with a real kernel joystick (the server itself serves only the axes):
//
//   joystick_probe   ->   "<result> <X> <Y> <Z> <R> <buttons in hex>"
//
// <result> is the reader's 0, or -1 when there is no joystick 0.

#include <cstdio>

#include "platform/joystick_device.h"

int main() {
  auto reader = platform::joystick_device().open_reader();
  platform::JoystickState state{};
  int result = reader->read(&state);
  std::printf("%d %u %u %u %u 0x%x\n", result, state.x, state.y, state.z, state.r, state.buttons);
  return 0;
}
