#include "platform/joystick_finder.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;
using State = JoystickZero::State;

// Capability words as the kernel prints them under sysfs for real devices.
struct SysfsCapabilities {
  const char* ev;
  const char* abs;
  const char* key;
};
// X, Y, THROTTLE, RUDDER; BTN_TRIGGER to BTN_BASE6.
constexpr SysfsCapabilities FLIGHT_STICK = {"b", "c3", "fff00000000 0 0 0 0"};
// X, Y, Z, RX, RY, RZ, hat; BTN_SOUTH and on: the top bits of a whole 64-bit word.
constexpr SysfsCapabilities GAMEPAD = {"20000b", "3003f", "7fdb000000000000 0 0 0 0"};
// X, Y and touches; BTN_LEFT and finger tools, no joystick button.
constexpr SysfsCapabilities TOUCHPAD = {"b", "660800011000003", "e520 10000 0 0 0 0"};
constexpr SysfsCapabilities KEYBOARD = {"120013", "", "ffefffdfffff fffffffffffffffe"};

// A /dev/input and a /sys/class/input in a temporary folder. The nodes are
// plain files: opening them works (or not, by their mode), and what a device
// would answer to its ioctls comes from the sysfs files, as for a node we may
// not open.
class FakeInputTree {
 public:
  FakeInputTree() {
    char pattern[] = "/tmp/joystick-finder-XXXXXX";
    m_root = ::mkdtemp(pattern);
    // Others must reach the nodes to be refused by their own modes.
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(m_root / "dev/input");
    fs::create_directories(m_root / "sys/class/input");
  }
  ~FakeInputTree() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  InputTree tree() const {
    return {(m_root / "dev/input").string(), (m_root / "sys/class/input").string()};
  }
  std::string node(int number) const {
    return (m_root / "dev/input" / ("event" + std::to_string(number))).string();
  }
  fs::path root() const { return m_root; }

  void add(int number, const char* name, SysfsCapabilities caps, mode_t mode = 0644,
           gid_t gid = 0) {
    std::ofstream(node(number)).put('\n');
    EXPECT_EQ(::chown(node(number).c_str(), 0, gid), 0);
    EXPECT_EQ(::chmod(node(number).c_str(), mode), 0);
    fs::path device = m_root / "sys/class/input" / ("event" + std::to_string(number)) / "device";
    fs::create_directories(device / "capabilities");
    std::ofstream(device / "name") << name << "\n";
    std::ofstream(device / "capabilities/ev") << caps.ev << "\n";
    if (*caps.abs) std::ofstream(device / "capabilities/abs") << caps.abs << "\n";
    std::ofstream(device / "capabilities/key") << caps.key << "\n";
  }

 private:
  fs::path m_root;
};

// What a person would read about joystick 0 in tree, with choice.
std::string state_text(const InputTree& tree, const JoystickChoice& choice) {
  JoystickZero zero = resolve_joystick_zero(scan_input_devices(tree), choice);
  return joystick_state_title(zero) + " | " + joystick_state_detail(zero, choice);
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

// A group other than root's and nobody's, for a node that a group may read.
const group* some_other_group() {
  for (const char* name : {"input", "daemon", "bin", "sys"}) {
    if (const group* found = ::getgrnam(name)) return found;
  }
  return nullptr;
}

TEST(ScanInputDevices, EveryEventNodeByNumberWithNameAndCapabilities) {
  FakeInputTree input;
  input.add(10, "Gamepad Ten", GAMEPAD);
  input.add(2, "Touchpad", TOUCHPAD);
  input.add(0, "AT Translated Set 2 keyboard", KEYBOARD);
  // Not event devices: the old joystick interface, a mouse, links folders, odd names.
  for (const char* other : {"js0", "mouse0", "event", "event1x", "eventx"}) {
    std::ofstream(input.tree().dev_dir + "/" + other).put('\n');
  }
  fs::create_directories(input.tree().dev_dir + "/by-id");

  std::vector<InputDevice> devices = scan_input_devices(input.tree());
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].number, 0);
  EXPECT_EQ(devices[1].number, 2);
  EXPECT_EQ(devices[2].number, 10);
  EXPECT_EQ(devices[2].path, input.node(10));
  EXPECT_EQ(devices[2].name, "Gamepad Ten");
  EXPECT_TRUE(devices[2].readable());
  ASSERT_TRUE(devices[2].capabilities_known);
  // BTN_SOUTH (0x130) and BTN_THUMBR (0x13e) from the top of the word.
  EXPECT_TRUE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_SOUTH));
  EXPECT_TRUE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_THUMBR));
  EXPECT_FALSE(evdev_bit_set(devices[2].capabilities.keys, KEY_BITS_SIZE, BTN_SOUTH - 1));

  EXPECT_STREQ(why_not_joystick(devices[0]), "no absolute axes");
  EXPECT_STREQ(why_not_joystick(devices[1]), "no joystick or gamepad buttons");
  EXPECT_EQ(why_not_joystick(devices[2]), nullptr);
}

TEST(ScanInputDevices, NoDeviceFolderMeansNoDevices) {
  EXPECT_TRUE(scan_input_devices({"/nonexistent/dev/input", "/nonexistent/sys"}).empty());
  FakeInputTree empty;
  EXPECT_TRUE(scan_input_devices(empty.tree()).empty());
}

TEST(ScanInputDevices, WithoutSysfsAnUnansweringNodeHasUnknownCapabilities) {
  FakeInputTree input;
  std::ofstream(input.node(4)).put('\n');
  std::vector<InputDevice> devices = scan_input_devices(input.tree());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_FALSE(devices[0].capabilities_known);
  EXPECT_EQ(devices[0].name, "");
  EXPECT_STREQ(why_not_joystick(devices[0]), "its capabilities cannot be read");
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

// Devices as the scan reports them, for the rules alone.
InputDevice device(int number, const char* name, SysfsCapabilities caps, int open_error = 0) {
  FakeInputTree input;
  input.add(number, name, caps);
  InputDevice found = scan_input_devices(input.tree()).at(0);
  found.path = "/dev/input/event" + std::to_string(number);
  found.open_error = open_error;
  found.group = "input";
  found.group_may_read = true;
  return found;
}

class ResolveJoystickZero : public testing::Test {
 protected:
  InputDevice keyboard = device(0, "Logitech Keyboard K120", KEYBOARD);
  InputDevice stick = device(3, "Logitech Extreme 3D pro", FLIGHT_STICK);
  InputDevice pad = device(5, "Xbox Wireless Controller", GAMEPAD);
  InputDevice locked_pad = device(5, "Xbox Wireless Controller", GAMEPAD, EACCES);
  JoystickChoice by_name(const char* part) { return choice_from_value(part, JOYSTICK_VARIABLE); }
  JoystickChoice by_path(const char* path) { return choice_from_value(path, "settings.conf"); }
};

TEST_F(ResolveJoystickZero, DefaultIsTheLowestJoystick) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, {});
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 3);
  EXPECT_EQ(resolve_joystick_zero({}, {}).state, State::NO_JOYSTICK);
  EXPECT_EQ(resolve_joystick_zero({keyboard}, {}).state, State::NO_JOYSTICK);
}

TEST_F(ResolveJoystickZero, ChosenByNameIgnoringCaseAmongJoysticksOnly) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, by_name("xBoX"));
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 5);
  // The keyboard's name matches too, but it is no joystick.
  EXPECT_EQ(resolve_joystick_zero({keyboard, stick, pad}, by_name("logitech")).device.number, 3);
  EXPECT_EQ(resolve_joystick_zero({keyboard, stick, pad}, by_name("K120")).state, State::NOT_FOUND);
}

TEST_F(ResolveJoystickZero, ChosenByPath) {
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, by_path("/dev/input/event5"));
  EXPECT_EQ(zero.state, State::READY);
  EXPECT_EQ(zero.device.number, 5);
  zero = resolve_joystick_zero({keyboard, stick, pad}, by_path("/dev/input/event0"));
  EXPECT_EQ(zero.state, State::NOT_A_JOYSTICK);
  EXPECT_EQ(joystick_state_detail(zero, by_path("/dev/input/event0")),
            "/dev/input/event0 is not a joystick (no absolute axes), chosen in settings.conf");
}

TEST_F(ResolveJoystickZero, ChosenButAbsentIsNeverAnotherDevice) {
  JoystickChoice gone = by_path("/dev/input/event9");
  JoystickZero zero = resolve_joystick_zero({keyboard, stick, pad}, gone);
  EXPECT_EQ(zero.state, State::NOT_FOUND);
  EXPECT_EQ(joystick_state_title(zero), "Joystick not found");
  EXPECT_EQ(joystick_state_detail(zero, gone),
            "No device /dev/input/event9, chosen in settings.conf");
  JoystickChoice hotas = by_name("Warthog");
  EXPECT_EQ(joystick_state_detail(resolve_joystick_zero({stick, pad}, hotas), hotas),
            "No joystick's name contains \"Warthog\", chosen by ORVANDELCASTER_JOYSTICK");
}

TEST_F(ResolveJoystickZero, UnreadableJoystickGivesThePermissionState) {
  JoystickZero zero = resolve_joystick_zero({keyboard, locked_pad}, {});
  EXPECT_EQ(zero.state, State::UNREADABLE);
  EXPECT_EQ(joystick_state_title(zero), "No permission");
  EXPECT_EQ(joystick_state_detail(zero, {}),
            "No permission to read /dev/input/event5 \u2014 add yourself to the input group");
  // Chosen by name or path, the same.
  EXPECT_EQ(resolve_joystick_zero({stick, locked_pad}, by_name("xbox")).state, State::UNREADABLE);
  EXPECT_EQ(resolve_joystick_zero({stick, locked_pad}, by_path("/dev/input/event5")).state,
            State::UNREADABLE);
  // Any other failure to open says what it was.
  InputDevice busy = device(5, "Xbox Wireless Controller", GAMEPAD, EBUSY);
  zero = resolve_joystick_zero({busy}, {});
  EXPECT_EQ(joystick_state_title(zero), "Cannot read joystick");
  EXPECT_EQ(joystick_state_detail(zero, {}),
            "Cannot read /dev/input/event5: Device or resource busy");
}

TEST_F(ResolveJoystickZero, ReadyTextsNameTheDeviceNodeAndChoice) {
  JoystickZero zero = resolve_joystick_zero({stick}, {});
  EXPECT_EQ(joystick_state_title(zero), "Logitech Extreme 3D pro");
  EXPECT_EQ(joystick_state_detail(zero, {}), "Joystick 0: /dev/input/event3");
  EXPECT_EQ(joystick_state_detail(zero, by_name("extreme")),
            "Joystick 0: /dev/input/event3, chosen by ORVANDELCASTER_JOYSTICK");
  InputDevice nameless = stick;
  nameless.name.clear();
  EXPECT_EQ(joystick_state_title(resolve_joystick_zero({nameless}, {})), "Joystick");
}

TEST(JoystickSetting, TheJoystickLineOfASettingsFile) {
  EXPECT_EQ(joystick_setting("joystick = Logitech Extreme\n"), "Logitech Extreme");
  EXPECT_EQ(joystick_setting("# a comment\n\n  joystick=/dev/input/event5  \r\n"),
            "/dev/input/event5");
  EXPECT_EQ(joystick_setting("colour = blue\njoystick = a\njoystick = b"), "b");
  EXPECT_EQ(joystick_setting("# joystick = commented out\njoysticks = x\n"), std::nullopt);
  EXPECT_EQ(joystick_setting(""), std::nullopt);
  EXPECT_EQ(joystick_setting("joystick ="), "");
}

TEST(JoystickSetting, ValuesBecomeChoices) {
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
}

TEST(JoystickSetting, SettingsFileUnderTheConfigFolder) {
  EXPECT_EQ(settings_file_path("/cfg", "/home/u"), "/cfg/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path(nullptr, "/home/u"), "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("relative", "/home/u"),
            "/home/u/.config/orvandelcaster/settings.conf");
  EXPECT_EQ(settings_file_path("", nullptr), "");
}

// Sets or unsets a variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedVariable() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(JoystickSetting, VariableOverridesTheSettingsFile) {
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
  fs::remove(file);
  ScopedVariable unset(JOYSTICK_VARIABLE, nullptr);
  EXPECT_EQ(read_joystick_choice().kind, JoystickChoice::Kind::LOWEST);
}

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
  EXPECT_EQ(describe_joystick_zero(finder.zero(), finder.choice()),
            (JoystickStateText{"Flight Stick", "Joystick 0: " + input.node(4)}));

  // Unplugged: the reader lost it and looks again as soon as an interval has
  // passed since the last look.
  fs::remove(input.node(4));
  EXPECT_FALSE(finder.find(start + 2s).valid());
  EXPECT_EQ(finder.zero().state, State::NO_JOYSTICK);
}

}  // namespace
}  // namespace platform
