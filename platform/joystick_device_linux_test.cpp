#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/joystick_device.h"

namespace platform {
namespace {

// The window's reader is told when the settings changed; the server's
// sampling, with a reader of its own, must follow it at its next reading.
TEST(LinuxJoystickReader, LookingAgainMakesEveryReaderTakeTheChoiceAnew) {
  ::setenv(JOYSTICK_VARIABLE, "/nonexistent/first", 1);
  auto sampling = joystick_device().open_reader();
  auto window = joystick_device().open_reader();
  JoystickState state{};
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/first");

  ::setenv(JOYSTICK_VARIABLE, "/nonexistent/second", 1);
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/first") << "taken anew unasked";
  window->look_again();
  EXPECT_EQ(sampling->read(&state), -1);
  EXPECT_EQ(sampling->status().choice.value, "/nonexistent/second");
  EXPECT_EQ(sampling->status().state, JoystickStatus::State::NOT_FOUND);
  ::unsetenv(JOYSTICK_VARIABLE);
}

}  // namespace
}  // namespace platform
