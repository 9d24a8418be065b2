#include "platform/joystick_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/fake_input_tree.h"
#include "platform/settings_file.h"
#include "tests/support/scoped_variable.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(JoystickChoice, ValuesBecomeChoices) {
  EXPECT_EQ(choice_from_value("  ", "file").kind, JoystickChoice::Kind::LOWEST);
  EXPECT_EQ(choice_from_value("", "file").origin, "");
  JoystickChoice name = choice_from_value(" pad ", "file");
  EXPECT_EQ(name.kind, JoystickChoice::Kind::NAME);
  EXPECT_EQ(name.value, "pad");
  EXPECT_EQ(name.origin, "file");
  // A path that does not resolve is kept as given: it matches no device.
  JoystickChoice path = choice_from_value("/dev/input/event99", "file");
  EXPECT_EQ(path.kind, JoystickChoice::Kind::PATH);
  EXPECT_EQ(path.value, "/dev/input/event99");
  // Up to the bound a value is taken; past it, refused and not kept.
  EXPECT_EQ(choice_from_value(std::string(SETTING_VALUE_MAX_BYTES, 'x'), "file").kind,
            JoystickChoice::Kind::NAME);
  JoystickChoice refused = choice_from_value(std::string(SETTING_VALUE_MAX_BYTES + 1, 'x'), "file");
  EXPECT_EQ(refused.kind, JoystickChoice::Kind::REFUSED);
  EXPECT_EQ(refused.value, "");
  EXPECT_EQ(refused.origin, "file");
}

using test_support::ScopedVariable;

TEST(JoystickChoice, VariableOverridesTheSettingsFile) {
  FakeInputTree folder;
  fs::create_directories(folder.root() / "orvandelcaster");
  const std::string file = (folder.root() / "orvandelcaster/settings.conf").string();
  std::ofstream(file) << "# joystick 0\njoystick = Gamepad\n";
  ScopedVariable config("XDG_CONFIG_HOME", folder.root().c_str());

  {
    ScopedVariable unset(JOYSTICK_VARIABLE, nullptr);
    JoystickChoice choice = read_joystick_choice();
    EXPECT_EQ(choice.kind, JoystickChoice::Kind::NAME);
    EXPECT_EQ(choice.value, "Gamepad");
    EXPECT_EQ(choice.origin, file);
  }
  {
    ScopedVariable set(JOYSTICK_VARIABLE, "stick");
    JoystickChoice choice = read_joystick_choice();
    EXPECT_EQ(choice.value, "stick");
    EXPECT_EQ(choice.origin, JOYSTICK_VARIABLE);
  }
  {
    // Set but empty: the lowest joystick, whatever the file says.
    ScopedVariable empty(JOYSTICK_VARIABLE, "");
    EXPECT_EQ(read_joystick_choice().kind, JoystickChoice::Kind::LOWEST);
  }
  {
    // A relative recording lies beside the settings file, wherever it is named.
    const std::string beside = (folder.root() / "orvandelcaster/take.csv").string();
    ScopedVariable set(JOYSTICK_VARIABLE, " replay: take.csv ");
    JoystickChoice choice = read_joystick_choice();
    EXPECT_EQ(choice.kind, JoystickChoice::Kind::REPLAY);
    EXPECT_EQ(choice.value, beside);
    EXPECT_EQ(choice_from_value("replay:take.csv", file).value, beside);
    EXPECT_EQ(choice_from_value("replay:/abs/take.csv", file).value, "/abs/take.csv");
    EXPECT_EQ(choice_from_value("replay:", file).kind, JoystickChoice::Kind::REPLAY);
    EXPECT_EQ(choice_from_value("replay:", file).value, "");
  }
  fs::remove(file);
  ScopedVariable unset(JOYSTICK_VARIABLE, nullptr);
  EXPECT_EQ(read_joystick_choice().kind, JoystickChoice::Kind::LOWEST);
}

}  // namespace
}  // namespace platform
