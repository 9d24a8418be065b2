#include "platform/multimedia_joystick.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/joystick_choice.h"
#include "platform/outside_text.h"
#include "platform/program_name.h"
#include "platform/settings_file.h"
#include "platform/standard_error.h"

namespace platform {
namespace {

// How many times a reader was told to look again: every reader of the
// process takes the choice and the mapping anew at its next reading.
std::atomic<unsigned> looks_again{0};

// Every reader of joystick 0 reads the choice: the line is said once per process.
void report_bad_choice(const std::string& origin, const std::string& value) {
  static std::once_flag reported;
  std::call_once(reported, [&] {
    const std::string what = origin == JOYSTICK_VARIABLE
                                 ? std::string(JOYSTICK_VARIABLE)
                                 : "the joystick setting in " + printable_outside_text(origin);
    const std::string line = std::string(program_name()) + ": " + what + " is \"" +
                             printable_outside_text(value) +
                             "\", not a joystick number from 1 to " +
                             std::to_string(MULTIMEDIA_JOYSTICK_COUNT) + ": no joystick is read\n";
    write_standard_error(line.data(), line.size());
  });
}

MultimediaChoice choice_from(std::optional<std::string> value, const std::string& origin) {
  MultimediaChoice choice;
  // An empty value keeps the first joystick, as it does on Linux.
  if (!value || trim_blanks(*value).empty()) return choice;
  choice.chosen = true;
  choice.origin = origin;
  choice.id = multimedia_joystick_id(*value);
  if (!choice.id) report_bad_choice(origin, *value);
  return choice;
}

class MultimediaReader final : public JoystickReader {
 public:
  explicit MultimediaReader(MultimediaJoysticks& calls) : m_calls(calls) {}

  int read(JoystickState* state) override {
    const Clock::time_point now = Clock::now();
    take_choice(now);
    // Read on every reading, joystick or not, so a bad line is said at once.
    const AxisMapping& mapping = m_mapping.current(now);
    MultimediaPosition position;
    if (!m_choice.id || !m_calls.read_position(*m_choice.id, &position)) {
      *state = CENTRED_STATE;
      m_present = false;
      return -1;
    }
    // The name and the axes' limits, asked once each time the joystick (re)appears.
    if (!m_present) {
      m_caps = {};
      m_calls.capabilities(*m_choice.id, &m_caps);
    }
    m_present = true;
    const MultimediaReading reading = multimedia_reading(m_caps, position, mapping);
    *state = reading.state;
    m_axes = reading.axes;
    return 0;
  }

  // The multimedia calls name no device node: whether the chosen joystick
  // answers, its product's name, and the axes behind the channels.
  JoystickStatus status() const override {
    JoystickStatus status;
    status.naming = AxisNaming::MULTIMEDIA;
    if (m_present) {
      status.state = JoystickStatus::State::READY;
      status.name = m_caps.name;
      status.axes = m_axes;
    } else if (m_choice.chosen) {
      status.state = JoystickStatus::State::NOT_FOUND;
    }
    return status;
  }

  std::vector<DeviceAxis> read_device_axes() override {
    take_choice(Clock::now());
    MultimediaJoystickCaps caps;
    MultimediaPosition position;
    if (!m_choice.id || !m_calls.capabilities(*m_choice.id, &caps) ||
        !m_calls.read_position(*m_choice.id, &position))
      return {};
    return multimedia_device_axes(caps, position);
  }

  void preview_mapping(std::optional<AxisMapping> mapping) override {
    m_mapping.preview(std::move(mapping));
  }

  void look_again() override { looks_again.fetch_add(1, std::memory_order_relaxed); }

 private:
  using Clock = AxisMappingFile::Clock;

  // The user's choice, taken anew at most once a second, as the mapping is.
  void take_choice(Clock::time_point now) {
    const unsigned looks = looks_again.load(std::memory_order_relaxed);
    if (looks != m_looksSeen) {
      m_looksSeen = looks;
      m_choiceTaken = false;
      m_mapping.read_again();  // at its next use
    }
    if (m_choiceTaken && now - m_choiceTime < std::chrono::seconds(1)) return;
    MultimediaChoice choice = read_multimedia_choice();
    if (choice.id != m_choice.id) m_present = false;  // another joystick: ask its caps
    m_choice = choice;
    m_choiceTaken = true;
    m_choiceTime = now;
  }

  MultimediaJoysticks& m_calls;
  AxisMappingFile m_mapping{AxisNaming::MULTIMEDIA};
  MultimediaChoice m_choice;
  bool m_choiceTaken = false;
  unsigned m_looksSeen = looks_again.load(std::memory_order_relaxed);
  Clock::time_point m_choiceTime{};
  bool m_present = false;
  MultimediaJoystickCaps m_caps;
  std::array<MappedAxisStatus, MAPPED_AXIS_COUNT> m_axes{};
};

}  // namespace

MultimediaChoice read_multimedia_choice() {
  if (const char* value = std::getenv(JOYSTICK_VARIABLE)) {
    return choice_from(std::string(value), JOYSTICK_VARIABLE);
  }
  const std::string path = settings_file_path();
  return choice_from(read_setting(path, JOYSTICK_SETTING), path);
}

int MultimediaJoystickDevice::get_capabilities(JoystickCapabilities* caps) {
  const MultimediaChoice choice = read_multimedia_choice();
  MultimediaJoystickCaps device;
  const bool read = choice.id && m_calls.capabilities(*choice.id, &device);
  const MultimediaAxis* x = nullptr;
  for (const MultimediaAxis& axis : device.axes)
    if (axis.letter == 'X') x = &axis;
  return capabilities_from_device(read && x, x ? x->min : 0, x ? x->max : 0, device.period_min,
                                  caps);
}

std::unique_ptr<JoystickReader> MultimediaJoystickDevice::open_reader() {
  return std::make_unique<MultimediaReader>(m_calls);
}

}  // namespace platform
