#include "platform/fake_joystick.h"

namespace platform {

class FakeJoysticks::Reader final : public JoystickReader {
 public:
  explicit Reader(FakeJoysticks* owner) : m_owner(owner) {}

  int get_pos(JoyInfoEx* info) override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    ++m_owner->m_reads;
    if (!m_owner->m_present) {
      info->dwXpos = info->dwYpos = info->dwZpos = info->dwRpos = JOY_AXIS_CENTRED;
      info->dwButtons = 0;
      return -1;
    }
    const JoyInfoEx& state = m_owner->m_state;
    info->dwXpos = state.dwXpos;
    info->dwYpos = state.dwYpos;
    info->dwZpos = state.dwZpos;
    info->dwRpos = state.dwRpos;
    info->dwButtons = state.dwButtons;
    return 0;
  }

  JoystickStateText state_text() const override {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    JoystickZero zero = m_owner->m_zero;
    if (!m_owner->m_present && zero.state == JoystickZero::State::READY) zero = JoystickZero{};
    return describe_joystick_zero(zero, m_owner->m_choice);
  }

 private:
  FakeJoysticks* m_owner;
};

FakeJoysticks::FakeJoysticks() : m_caps{0, 65535, 10}, m_state{} {
  m_state.dwXpos = m_state.dwYpos = m_state.dwZpos = m_state.dwRpos = JOY_AXIS_CENTRED;
  m_zero.state = JoystickZero::State::READY;
  m_zero.device.number = 0;
  m_zero.device.path = "/dev/input/event0";
  m_zero.device.name = "Fake Joystick";
}

void FakeJoysticks::set_caps(const JoyCaps& caps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_caps = caps;
}

void FakeJoysticks::set_axes(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t r) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_state.dwXpos = x;
  m_state.dwYpos = y;
  m_state.dwZpos = z;
  m_state.dwRpos = r;
}

void FakeJoysticks::set_buttons(std::uint32_t buttons) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_state.dwButtons = buttons;
}

void FakeJoysticks::set_present(bool present) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_present = present;
}

void FakeJoysticks::set_zero(const JoystickZero& zero, const JoystickChoice& choice) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_zero = zero;
  m_choice = choice;
  m_present = zero.state == JoystickZero::State::READY;
}

int FakeJoysticks::reads() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_reads;
}

int FakeJoysticks::get_caps(JoyCaps* caps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  *caps = m_caps;
  return m_present ? 0 : -1;
}

std::unique_ptr<JoystickReader> FakeJoysticks::open_reader() {
  return std::make_unique<Reader>(this);
}

}  // namespace platform
