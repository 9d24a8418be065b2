#include "monitor/joystick_state_text.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/fake_input_tree.h"
#include "platform/joystick_resolution.h"
#include "platform/settings_file.h"

// Failures show the texts, not the object's bytes.
void PrintTo(const JoystickStateText& text, std::ostream* out) {
  *out << '"' << text.title << "\" | \"" << text.detail << '"';
}

// Joystick 0 as the scan and the resolution find it in a tree, in words.
namespace platform {
namespace {

namespace fs = std::filesystem;

// What a person would read about joystick 0 in tree, with choice.
std::string state_text(const InputTree& tree, const JoystickChoice& choice) {
  JoystickStatus status =
      joystick_status(resolve_joystick_zero(scan_input_devices(tree), choice), choice);
  return joystick_state_title(status) + " | " + joystick_state_detail(status);
}

// state_text as seen by an unprivileged user (this test may run as root, who
// may open any node): run in a child process as nobody.
std::string state_text_as_nobody(const InputTree& tree, const JoystickChoice& choice) {
  if (::geteuid() != 0) return state_text(tree, choice);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "no pipe";
  pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
    std::string text = state_text(tree, choice);
    _exit(::write(pipe_fds[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string text;
  char chunk[512];
  for (ssize_t got; (got = ::read(pipe_fds[0], chunk, sizeof chunk)) > 0;)
    text.append(chunk, size_t(got));
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return text;
}

TEST(JoystickZeroInTree, LowestJoystickPastOtherDevices) {
  FakeInputTree input;
  input.add(0, "AT Translated Set 2 keyboard", KEYBOARD);
  input.add(1, "Touchpad", TOUCHPAD);
  input.add(3, "Flight Stick", FLIGHT_STICK);
  input.add(7, "Gamepad", GAMEPAD);
  EXPECT_EQ(state_text(input.tree(), {}), "Flight Stick | Joystick 0: " + input.node(3));
}

TEST(JoystickZeroInTree, NoneAmongOtherDevices) {
  FakeInputTree input;
  input.add(0, "AT Translated Set 2 keyboard", KEYBOARD);
  input.add(1, "Touchpad", TOUCHPAD);
  EXPECT_EQ(state_text(input.tree(), {}),
            "No joystick | No input device is a joystick; \"capture-probe devices\" tells why");
}

TEST(JoystickZeroInTree, UnreadableJoystickTellsWhoMayReadIt) {
  const group* readers = some_other_group();
  ASSERT_NE(readers, nullptr);
  FakeInputTree input;
  input.add(0, "AT Translated Set 2 keyboard", KEYBOARD, 0640, readers->gr_gid);
  input.add(5, "Flight Stick", FLIGHT_STICK, 0640, readers->gr_gid);
  EXPECT_EQ(state_text_as_nobody(input.tree(), {}),
            "No permission | No permission to read " + input.node(5) +
                " \u2014 add yourself to the " + readers->gr_name + " group");

  // Readable by root alone: no group to join.
  ASSERT_EQ(::chmod(input.node(5).c_str(), 0600), 0);
  EXPECT_EQ(state_text_as_nobody(input.tree(), {}),
            "No permission | No permission to read " + input.node(5) +
                " \u2014 a udev rule must give you read access");

  // Once it may be read, it is joystick 0.
  ASSERT_EQ(::chmod(input.node(5).c_str(), 0644), 0);
  EXPECT_EQ(state_text_as_nobody(input.tree(), {}), "Flight Stick | Joystick 0: " + input.node(5));
}

TEST(JoystickZeroInTree, ReadableJoystickBeforeALowerUnreadableOne) {
  FakeInputTree input;
  input.add(2, "Locked Stick", FLIGHT_STICK, 0600);
  input.add(6, "Open Pad", GAMEPAD, 0644);
  EXPECT_EQ(state_text_as_nobody(input.tree(), {}), "Open Pad | Joystick 0: " + input.node(6));
}

TEST(JoystickZeroInTree, ChosenByLinkToTheNode) {
  FakeInputTree input;
  input.add(3, "Flight Stick", FLIGHT_STICK);
  fs::create_directories(input.root() / "by-id");
  const std::string link = (input.root() / "by-id/usb-Gamepad-event-joystick").string();
  // Chosen before the device is plugged in: not found, and no other in its place.
  JoystickChoice choice = choice_from_value(link, "test");
  EXPECT_EQ(choice.kind, JoystickChoice::Kind::PATH);
  EXPECT_EQ(state_text(input.tree(), choice),
            "Joystick not found | No device " + link + ", chosen in test");

  input.add(7, "Gamepad", GAMEPAD);
  fs::create_symlink(input.node(7), link);
  EXPECT_EQ(state_text(input.tree(), choice),
            "Gamepad | Joystick 0: " + input.node(7) + ", chosen in test");

  // The device behind the link unplugged.
  fs::remove(input.node(7));
  fs::remove(link);
  EXPECT_EQ(state_text(input.tree(), choice),
            "Joystick not found | No device " + link + ", chosen in test");
}

// The words for each state the tree tests above do not reach.
TEST(JoystickStateText, EveryStateInWords) {
  using State = JoystickStatus::State;
  auto status = [](State state, JoystickChoice choice = {}, int open_error = 0) {
    JoystickStatus s;
    s.state = state;
    s.name = "Logitech Extreme 3D pro";
    s.names_devices = true;
    s.path = "/dev/input/event5";
    s.open_error = open_error;
    s.why_not = "no absolute axes";
    s.group = "input";
    s.group_may_read = true;
    s.choice = std::move(choice);
    return s;
  };
  // Names, nodes and choices come from outside: never a new line or an escape.
  auto from_outside = [&](State state, JoystickChoice choice, const char* name, const char* path) {
    JoystickStatus s = status(state, std::move(choice), EACCES);
    s.name = name;
    s.path = path;
    return s;
  };
  const JoystickChoice by_name = choice_from_value("Warthog", JOYSTICK_VARIABLE);
  const JoystickChoice by_path = choice_from_value("/dev/input/event9", "settings.conf");
  const JoystickChoice refused =
      choice_from_value(std::string(SETTING_VALUE_MAX_BYTES + 1, 'x'), JOYSTICK_VARIABLE);
  const JoystickChoice forged_file = choice_from_value("Pad", "/cfg\nOrvandelcaster: x.conf");
  struct Row {
    JoystickStatus status;
    JoystickStateText text;
  } rows[] = {
      {status(State::READY, by_name),
       {"Logitech Extreme 3D pro",
        "Joystick 0: /dev/input/event5, chosen by ORVANDELCASTER_JOYSTICK"}},
      {status(State::NOT_FOUND, by_path),
       {"Joystick not found", "No device /dev/input/event9, chosen in settings.conf"}},
      {status(State::NOT_FOUND, by_name),
       {"Joystick not found",
        "No joystick's name contains \"Warthog\", chosen by ORVANDELCASTER_JOYSTICK"}},
      {status(State::NOT_A_JOYSTICK, by_path),
       {"Not a joystick",
        "/dev/input/event5 is not a joystick (no absolute axes), chosen in settings.conf"}},
      {status(State::UNREADABLE, {}, EACCES),
       {"No permission",
        "No permission to read /dev/input/event5 \u2014 add yourself to the input group"}},
      {status(State::UNREADABLE, {}, EBUSY),
       {"Cannot read joystick", "Cannot read /dev/input/event5: Device or resource busy"}},
      {status(State::NOT_FOUND, refused),
       {"Joystick not found",
        "Choice refused (longer than 4096 bytes), chosen by ORVANDELCASTER_JOYSTICK"}},
      {from_outside(State::READY, forged_file, "Pad\n\x1b[2J", "/dev/input/event5"),
       {"Pad\\x0a\\x1b[2J",
        "Joystick 0: /dev/input/event5, chosen in /cfg\\x0aOrvandelcaster: x.conf"}},
      {from_outside(State::NOT_FOUND, choice_from_value("War\nthog", JOYSTICK_VARIABLE), "", ""),
       {"Joystick not found",
        "No joystick's name contains \"War\\x0athog\", chosen by ORVANDELCASTER_JOYSTICK"}},
      {from_outside(State::NOT_FOUND, choice_from_value("/dev/\x1b[2J", "c"), "", ""),
       {"Joystick not found", "No device /dev/\\x1b[2J, chosen in c"}},
      {from_outside(State::UNREADABLE, {}, "Pad", "/dev/input/event5\n"),
       {"No permission",
        "No permission to read /dev/input/event5\\x0a \u2014 add yourself to the input group"}},
  };
  for (const Row& row : rows) EXPECT_EQ(describe_joystick(row.status), row.text);

  // A nameless device, and a system that names no devices (the multimedia calls).
  JoystickStatus nameless = status(State::READY);
  nameless.name.clear();
  EXPECT_EQ(joystick_state_title(nameless), "Joystick");
  JoystickStatus multimedia;
  EXPECT_EQ(describe_joystick(multimedia), (JoystickStateText{"No joystick", ""}));
  multimedia.state = State::READY;
  multimedia.name = "Wine Joystick";
  EXPECT_EQ(describe_joystick(multimedia), (JoystickStateText{"Wine Joystick", ""}));

  // A mapped axis the device lacks: which channel reads centred, and why.
  JoystickStatus unmapped = status(State::READY);
  unmapped.axes = {{{3, false}, {1, true}, {-1, false}, {9, false}}};
  EXPECT_EQ(joystick_state_detail(unmapped),
            "X and Thrust read centred: the device has no ABS_RX and no ABS_GAS");
  multimedia.naming = AxisNaming::MULTIMEDIA;
  multimedia.axes[static_cast<std::size_t>(MappedAxis::RUDDER)] = {4, false};
  EXPECT_EQ(joystick_state_detail(multimedia), "Rudder reads centred: the device has no U");
}

}  // namespace
}  // namespace platform
