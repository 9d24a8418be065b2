#include "platform/recording_reader.h"

#include <sys/stat.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>

#include "platform/errno_keeper.h"
#include "platform/recording.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

std::int64_t monotonic_ns() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

class RecordingReader final : public JoystickReader {
 public:
  explicit RecordingReader(const JoystickChoice& choice) : m_choice(choice) {
    ErrnoKeeper keep_errno;
    m_fault = read_recording(choice.value, &m_recording);
    // The timer wakes a waiting window when the next row is due.
    if (m_fault.empty())
      m_timer = UniqueFd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
  }

  int read(JoystickState* state) override {
    ErrnoKeeper keep_errno;
    if (!m_fault.empty()) {
      *state = CENTRED_STATE;
      return -1;
    }
    const std::int64_t now = monotonic_ns();
    if (!m_playing) {
      m_origin = now;
      m_playing = true;
    }
    const double seconds = static_cast<double>(now - m_origin) / 1e9;
    *state = m_recording.state_at(seconds);
    arm_timer(m_recording.next_change_after(seconds));
    return 0;
  }

  JoystickStatus status() const override {
    JoystickStatus status;
    status.state = m_fault.empty() ? JoystickStatus::State::READY : JoystickStatus::State::NOT_FOUND;
    status.names_devices = true;
    status.path = m_choice.value;
    status.why_not = m_fault;
    status.choice = m_choice;
    // Each channel has its column: none reads centred for want of an axis.
    for (MappedAxisStatus& axis : status.axes) axis.present = true;
    return status;
  }

  int event_descriptor() const override { return m_timer.get(); }

  bool drain_events() override {
    ErrnoKeeper keep_errno;
    std::uint64_t expirations = 0;
    return m_timer.valid() && ::read(m_timer.get(), &expirations, sizeof expirations) > 0;
  }

  void restart_playback() override { m_playing = false; }

 private:
  // Makes the timer expire at `seconds` into the performance; never when
  // negative, nor when later than the clock's nanoseconds can hold (no
  // process lives that long).
  void arm_timer(double seconds) {
    if (!m_timer.valid()) return;
    itimerspec when{};
    const double nanoseconds = std::ceil(seconds * 1e9);
    // Below 2^62 ns, and the origin a monotonic time far below 2^62 ns: the sum fits.
    if (nanoseconds >= 0.0 && nanoseconds < 0x1p62) {
      const std::int64_t at = m_origin + static_cast<std::int64_t>(nanoseconds);
      when.it_value.tv_sec = static_cast<time_t>(at / 1000000000);
      when.it_value.tv_nsec = static_cast<long>(at % 1000000000);
    }
    ::timerfd_settime(m_timer.get(), TFD_TIMER_ABSTIME, &when, nullptr);
  }

  JoystickChoice m_choice;
  Recording m_recording;
  std::string m_fault;  // why the recording cannot be played; empty when it can
  UniqueFd m_timer;
  bool m_playing = false;
  std::int64_t m_origin = 0;  // the monotonic clock at the recording's time 0
};

// How many times a reader was told to look again.
std::atomic<unsigned> looks_again{0};

// Tells a recording's file from the one it was: another file in its place
// (device and inode), or the same one written again (size and modification
// time). found is false when there is no file to tell.
struct FileIdentity {
  bool found = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity identity_of(const std::string& path) {
  struct stat status {};
  if (path.empty() || ::stat(path.c_str(), &status) != 0) return {};
  return {true, status.st_dev, status.st_ino, status.st_size,
          static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

class ChoiceFollowingReader final : public JoystickReader {
 public:
  explicit ChoiceFollowingReader(std::function<std::unique_ptr<JoystickReader>()> make_device)
      : m_makeDevice(std::move(make_device)) {
    take_choice(read_joystick_choice());
  }

  int read(JoystickState* state) override {
    const unsigned looks = looks_again.load(std::memory_order_relaxed);
    if (looks != m_lookedAgain) {
      m_lookedAgain = looks;
      ErrnoKeeper keep_errno;
      JoystickChoice choice = read_joystick_choice();
      // A device's reader takes the new choice itself. The folder changes
      // for many reasons; a performance starts again only when its choice
      // or its file did.
      if (m_replaying || choice.kind == JoystickChoice::Kind::REPLAY) {
        if (!is_the_replayed_one(choice)) take_choice(std::move(choice));
      }
    }
    return m_reader->read(state);
  }
  JoystickStatus status() const override { return m_reader->status(); }
  int event_descriptor() const override { return m_reader->event_descriptor(); }
  bool drain_events() override { return m_reader->drain_events(); }
  void look_again() override {
    looks_again.fetch_add(1, std::memory_order_relaxed);
    m_reader->look_again();
  }
  std::vector<DeviceAxis> read_device_axes() override { return m_reader->read_device_axes(); }
  void preview_mapping(std::optional<AxisMapping> mapping) override {
    m_reader->preview_mapping(std::move(mapping));
  }
  void restart_playback() override { m_reader->restart_playback(); }

 private:
  void take_choice(JoystickChoice choice) {
    m_replaying = choice.kind == JoystickChoice::Kind::REPLAY;
    // Before the file is read: a change while it is read is seen next time.
    m_replayedFile = m_replaying ? identity_of(choice.value) : FileIdentity{};
    m_reader = m_replaying ? make_recording_reader(choice) : m_makeDevice();
    m_replayedChoice = std::move(choice);
  }

  bool is_the_replayed_one(const JoystickChoice& choice) const {
    return m_replaying && choice.kind == JoystickChoice::Kind::REPLAY &&
           choice.value == m_replayedChoice.value && choice.origin == m_replayedChoice.origin &&
           identity_of(choice.value) == m_replayedFile;
  }

  std::function<std::unique_ptr<JoystickReader>()> m_makeDevice;
  std::unique_ptr<JoystickReader> m_reader;
  bool m_replaying = false;
  JoystickChoice m_replayedChoice;  // the choice taken last
  FileIdentity m_replayedFile;      // its recording's file when taken
  unsigned m_lookedAgain = looks_again.load(std::memory_order_relaxed);
};

}  // namespace

std::unique_ptr<JoystickReader> make_recording_reader(const JoystickChoice& choice) {
  return std::make_unique<RecordingReader>(choice);
}

std::unique_ptr<JoystickReader> follow_joystick_choice(
    std::function<std::unique_ptr<JoystickReader>()> make_device_reader) {
  return std::make_unique<ChoiceFollowingReader>(std::move(make_device_reader));
}

}  // namespace platform
