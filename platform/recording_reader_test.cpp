#include "platform/recording_reader.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fake_input_tree.h"
#include "tests/support/scoped_variable.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Joystick 0 as the program reads it when the settings choose a recording:
// played from the first reading, waking a waiting window when the next row
// is due, and taken anew when the settings or the file change.
TEST(RecordingReader, PlaysFromTheFirstReadingAndFollowsTheChoice) {
  FakeInputTree folder;
  fs::create_directories(folder.root() / "orvandelcaster");
  const fs::path settings = folder.root() / "orvandelcaster/settings.conf";
  const std::string take = (folder.root() / "orvandelcaster/take.csv").string();
  std::ofstream(settings) << "joystick = replay:take.csv\n";
  std::ofstream(take) << "seconds,X,Y,Rudder,Thrust\n0,-0.5,0,0,0\n0.05,0.5,0,0,0\n";
  test_support::ScopedVariable config_home("XDG_CONFIG_HOME", folder.root().c_str());
  test_support::ScopedVariable no_choice(JOYSTICK_VARIABLE, nullptr);
  int device_readers = 0;
  auto make_device = [&device_readers]() -> std::unique_ptr<JoystickReader> {
    ++device_readers;
    return make_recording_reader(JoystickChoice{});  // any stand-in for a device's reader
  };
  std::unique_ptr<JoystickReader> reader = follow_joystick_choice(make_device);
  EXPECT_EQ(device_readers, 0);

  JoystickState state{};
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 0u);
  EXPECT_EQ(reader->status().state, JoystickStatus::State::READY);
  EXPECT_EQ(reader->status().path, take);
  // The second row is due 50 ms after the first reading.
  pollfd due{reader->event_descriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&due, 1, 2000), 1);
  EXPECT_TRUE(reader->drain_events());
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 65535u);
  // A new session plays from the start.
  reader->restart_playback();
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 0u);

  // A bad take, noticed on looking again: not found, with the reason, centred.
  std::ofstream(take) << "seconds,X,Y,Rudder,Thrust\n0,-0.5,0,0\n";
  reader->look_again();
  EXPECT_EQ(reader->read(&state), -1);
  EXPECT_EQ(state.x, CENTRED_STATE.x);
  EXPECT_EQ(reader->status().state, JoystickStatus::State::NOT_FOUND);
  EXPECT_EQ(reader->status().why_not, "line 2: 4 fields where the header has 5");

  // Another choice: the device's reader.
  std::ofstream(settings) << "joystick = Gamepad\n";
  reader->look_again();
  reader->read(&state);
  EXPECT_EQ(device_readers, 1);
}

// The window looks again on any change in the settings folder (another take
// written there, an editor's backup): when neither the choice nor the
// recording changed, the performance goes on.
TEST(RecordingReader, LookingAgainWithNothingChangedKeepsPlaying) {
  FakeInputTree folder;
  fs::create_directories(folder.root() / "orvandelcaster");
  std::ofstream(folder.root() / "orvandelcaster/settings.conf") << "joystick = replay:take.csv\n";
  std::ofstream(folder.root() / "orvandelcaster/take.csv")
      << "seconds,X,Y,Rudder,Thrust\n0,-0.5,0,0,0\n0.05,0.5,0,0,0\n";
  test_support::ScopedVariable config_home("XDG_CONFIG_HOME", folder.root().c_str());
  test_support::ScopedVariable no_choice(JOYSTICK_VARIABLE, nullptr);
  std::unique_ptr<JoystickReader> reader =
      follow_joystick_choice([] { return make_recording_reader(JoystickChoice{}); });
  JoystickState state{};
  ASSERT_EQ(reader->read(&state), 0);
  pollfd due{reader->event_descriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&due, 1, 2000), 1);
  ASSERT_EQ(reader->read(&state), 0);
  ASSERT_EQ(state.x, 65535u);
  std::ofstream(folder.root() / "orvandelcaster/notes.txt") << "an unrelated file\n";
  reader->look_again();
  ASSERT_EQ(reader->read(&state), 0);
  EXPECT_EQ(state.x, 65535u) << "the performance started again";
}

}  // namespace
}  // namespace platform
