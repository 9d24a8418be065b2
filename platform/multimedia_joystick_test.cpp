#include "platform/multimedia_joystick.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fake_input_tree.h"
#include "platform/fake_multimedia_joysticks.h"
#include "platform/joystick_choice.h"
#include "tests/support/scoped_variable.h"

namespace platform {
namespace {

using test_support::ScopedVariable;
using State = JoystickStatus::State;

// Two sticks, ids 0 and 2, and the user's settings file in a folder of the
// test's own.
class MultimediaJoystick : public ::testing::Test {
 protected:
  MultimediaJoystick() {
    std::filesystem::create_directories(m_folder.root() / "orvandelcaster");
    m_calls.entries[0] = {
        {"First", 2, {{'X', 0, 65535}, {'Y', 0, 65535}}, 10}, true, {{100, 200, 0, 0, 0, 0}, 0x1}};
    m_calls.entries[2] = {{"Third", 3, {{'X', 0, 1023}, {'Y', 0, 1023}, {'U', 0, 255}}, 20},
                          true,
                          {{1023, 0, 0, 0, 255, 0}, 0x2}};
  }

  void write_settings(const std::string& text) {
    std::ofstream(m_folder.root() / "orvandelcaster/settings.conf") << text;
  }

  FakeInputTree m_folder;  // for its temporary folder
  ScopedVariable m_config{"XDG_CONFIG_HOME", m_folder.root().c_str()};
  ScopedVariable m_variable{JOYSTICK_VARIABLE, nullptr};
  FakeMultimediaJoysticks m_calls;
  MultimediaJoystickDevice m_device{m_calls};
};

TEST_F(MultimediaJoystick, WithoutSettingsTheFirstJoystickIsReadRaw) {
  JoystickCapabilities caps{};
  EXPECT_EQ(m_device.get_capabilities(&caps), 0);
  EXPECT_EQ(caps.x_max, 65535u);
  EXPECT_EQ(caps.min_period_ms, 10u);
  auto reader = m_device.open_reader();
  JoystickState state{};
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 100u);
  EXPECT_EQ(state.y, 200u);
  EXPECT_EQ(state.buttons, 0x1u);
  EXPECT_EQ(state.positions, 0u);
  const JoystickStatus status = reader->status();
  EXPECT_EQ(status.state, State::READY);
  EXPECT_EQ(status.name, "First");
  EXPECT_EQ(status.naming, AxisNaming::MULTIMEDIA);
  EXPECT_EQ(status.axes[0], (MappedAxisStatus{0, true}));
}

// "joystick = N" picks id N - 1 for the scale and the readings, through the
// mapping of the same file; the variable holds over the file.
TEST_F(MultimediaJoystick, TheChosenJoystickIsReadThroughTheMapping) {
  write_settings("joystick = 3\ny = -U\n");
  JoystickCapabilities caps{};
  EXPECT_EQ(m_device.get_capabilities(&caps), 0);
  EXPECT_EQ(caps.x_max, 1023u);
  EXPECT_EQ(caps.min_period_ms, 20u);
  auto reader = m_device.open_reader();
  JoystickState state{};
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(reader->status().name, "Third");
  EXPECT_EQ(state.x, 1023u);  // raw
  EXPECT_EQ(state.y, 0u);     // U at its maximum, inverted
  EXPECT_EQ(state.positions, 0b10u);
  EXPECT_EQ(reader->read_device_axes(),
            (std::vector<DeviceAxis>{
                {0, 0, 1023, 0, 0, 1023}, {1, 0, 1023, 0, 0, 0}, {4, 0, 255, 0, 0, 255}}));

  // The window's preview holds over the file until it ends.
  AxisMapping preview;
  preview[MappedAxis::X] = {4, false, std::nullopt, 0};
  reader->preview_mapping(preview);
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 65535u);
  EXPECT_EQ(state.y, 0u);  // raw again: the preview leaves Y unmapped
  EXPECT_EQ(state.positions, 0b01u);

  ScopedVariable first(JOYSTICK_VARIABLE, "1");
  reader->look_again();
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(reader->status().name, "First");
}

// A chosen joystick that is not there, or a value that is no joystick
// number, reads nothing: no other joystick stands in for the one chosen.
TEST_F(MultimediaJoystick, AnAbsentOrBadChoiceIsNotFound) {
  for (const char* choice : {"2", "17", "Logitech"}) {
    write_settings(std::string("joystick = ") + choice + "\n");
    JoystickCapabilities caps{};
    EXPECT_EQ(m_device.get_capabilities(&caps), -1) << choice;
    EXPECT_EQ(caps.x_max, 65535u) << choice;
    auto reader = m_device.open_reader();
    JoystickState state{};
    EXPECT_EQ(reader->read(&state), -1) << choice;
    EXPECT_EQ(state.x, AXIS_CENTRED) << choice;
    EXPECT_EQ(reader->status().state, State::NOT_FOUND) << choice;
    EXPECT_TRUE(reader->read_device_axes().empty()) << choice;
  }
  // Without a choice an absent joystick is no joystick at all.
  write_settings("joystick =\n");
  m_calls.entries.erase(0);
  auto reader = m_device.open_reader();
  JoystickState state{};
  EXPECT_EQ(reader->read(&state), -1);
  EXPECT_EQ(reader->status().state, State::NO_JOYSTICK);
}

}  // namespace
}  // namespace platform
