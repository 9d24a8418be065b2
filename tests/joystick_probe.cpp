// Prints one reading of joystick 0 through the platform layer, for checks on a
// machine with a real kernel joystick (the server itself serves only the axes):
//
//   joystick_probe   ->   "<result> <X> <Y> <Z> <R> <buttons in hex>"
//
// <result> is get_pos's 0, or -1 when there is no joystick 0.

#include <cstdio>

#include "platform/joystick.h"

int main() {
  auto reader = platform::joysticks().open_reader();
  platform::JoyInfoEx info{};
  info.dwSize = platform::JOYINFOEX_SIZE;
  info.dwFlags = platform::JOY_RETURNALL;
  int result = reader->get_pos(&info);
  std::printf("%d %u %u %u %u 0x%x\n", result, info.dwXpos, info.dwYpos, info.dwZpos, info.dwRpos,
              info.dwButtons);
  return 0;
}
