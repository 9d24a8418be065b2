#include "platform/joystick_finder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/fake_input_tree.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using State = JoystickZero::State;

TEST(JoystickZeroFinder, LooksAtMostOncePerIntervalAndOpensJoystickZero) {
  using namespace std::chrono_literals;
  FakeInputTree input;
  JoystickZeroFinder finder({}, input.tree());
  const auto start = JoystickZeroFinder::Clock::now();
  EXPECT_FALSE(finder.find(start).valid());
  EXPECT_EQ(finder.zero().state, State::NO_JOYSTICK);

  input.add(4, "Flight Stick", FLIGHT_STICK);
  EXPECT_FALSE(finder.find(start + 999ms).valid()) << "looked again within the interval";
  UniqueFd found = finder.find(start + 1s);
  EXPECT_TRUE(found.valid());
  EXPECT_EQ(finder.zero().state, State::READY);
  EXPECT_EQ(finder.zero().device.path, input.node(4));
  EXPECT_EQ(finder.zero().device.name, "Flight Stick");

  // Unplugged: the reader lost it and looks again as soon as an interval has
  // passed since the last look.
  fs::remove(input.node(4));
  EXPECT_FALSE(finder.find(start + 2s).valid());
  EXPECT_EQ(finder.zero().state, State::NO_JOYSTICK);
}

}  // namespace
}  // namespace platform
