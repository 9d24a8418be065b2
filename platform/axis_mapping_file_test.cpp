#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/axis_mapping.h"
#include "platform/fake_input_tree.h"
#include "platform/fake_joystick_device.h"
#include "tests/support/scoped_variable.h"

namespace platform {
namespace {

// A settings file under a temporary XDG_CONFIG_HOME for the life of the object.
class TemporarySettings {
 public:
  TemporarySettings() { std::filesystem::create_directories(m_folder.root() / "orvandelcaster"); }
  std::string path() const { return (m_folder.root() / "orvandelcaster/settings.conf").string(); }
  void write(const std::string& text) const { std::ofstream(path()) << text; }

 private:
  FakeInputTree m_folder;  // for its temporary folder
  test_support::ScopedVariable m_configHome{"XDG_CONFIG_HOME", m_folder.root().c_str()};
};

TEST(AxisMappingFile, RereadsAtMostOnceASecondAndSaysEachBadLineOnce) {
  TemporarySettings settings;
  settings.write("x = ABS_RX\nx.deadzone = 99\n");
  const auto start = AxisMappingFile::Clock::now();
  AxisMappingFile window(AxisNaming::EVDEV), sampling(AxisNaming::EVDEV);

  testing::internal::CaptureStderr();
  EXPECT_EQ(window.current(start)[MappedAxis::X].code, 3);
  EXPECT_EQ(sampling.current(start)[MappedAxis::X].code, 3);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "Orvandelcaster: " + settings.path() +
                      ":2: x.deadzone must be a whole number from 0 to 50 (the line is ignored)\n");

  settings.write("x = ABS_RY\n");
  EXPECT_EQ(window.current(start + std::chrono::milliseconds(999))[MappedAxis::X].code, 3);
  EXPECT_EQ(window.current(start + std::chrono::seconds(1))[MappedAxis::X].code, 4);
  EXPECT_EQ(sampling.current(start + std::chrono::milliseconds(999))[MappedAxis::X].code, 3);
}

// The fake in raw-axes mode reads as a real device does: the settings file's
// mapping, or a reader's own preview, which no other reader sees.
TEST(AxisMappingFile, FakeDeviceReadsRawAxesThroughTheMapping) {
  TemporarySettings settings;
  settings.write("x = -ABS_RX\nthrust = ABS_GAS\n");
  FakeJoystickDevice fake;
  fake.set_buttons(5);
  fake.set_device_axes({{0, 0, 255, 0, 0, 255}, {3, 0, 1023, 0, 0, 1023}, {1, 0, 255, 0, 0, 0}});
  auto window = fake.open_reader(), sampling = fake.open_reader();
  AxisMapping preview;
  preview[MappedAxis::X].code = 0;
  window->preview_mapping(preview);

  JoystickState state{};
  ASSERT_EQ(sampling->read(&state), 0);
  EXPECT_EQ(state.x, 0u);
  EXPECT_EQ(state.y, 0u);
  EXPECT_EQ(state.z, 32767u);
  EXPECT_EQ(state.buttons, 5u);
  EXPECT_EQ(sampling->status().axes[3], (MappedAxisStatus{9, false}));
  ASSERT_EQ(window->read(&state), 0);
  EXPECT_EQ(state.x, 65535u);
  EXPECT_EQ(window->status().axes[3], (MappedAxisStatus{-1, false}));  // no default axis
  EXPECT_EQ(window->read_device_axes().size(), 3u);

  window->preview_mapping(std::nullopt);
  ASSERT_EQ(window->read(&state), 0);
  EXPECT_EQ(state.x, 0u);
  EXPECT_EQ(window->status().axes[0], (MappedAxisStatus{3, true}));
}

}  // namespace
}  // namespace platform
