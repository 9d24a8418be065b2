#include "monitor/monitor_model.h"

#include "joystick/joystick_channels.h"
#include "res/resource.h"

MonitorModel::MonitorModel() : m_joystick(platform::joystick_device().open_reader()) {}

MonitorModel::~MonitorModel() = default;

MonitorView MonitorModel::tick() {
  platform::JoystickState state{};
  m_joystick->read(&state);
  MonitorView view{};
  // In the order of platform::MAPPED_AXES.
  constexpr int BAR_IDS[] = {IDC_BAR_X, IDC_BAR_Y, IDC_BAR_RUDDER, IDC_BAR_THRUST};
  for (std::size_t i = 0; i < view.bars.size(); ++i) {
    const platform::MappedAxis axis = platform::MAPPED_AXES[i];
    view.bars[i] = {BAR_IDS[i], static_cast<std::int32_t>(platform::axis_of(state, axis)),
                    axis_bar_range(state, axis)};
  }
  for (std::size_t i = 0; i < view.buttons.size(); ++i) {
    view.buttons[i] = {IDC_BUTTON_BOX_1 + static_cast<int>(i), (state.buttons & (1u << i)) != 0};
  }
  view.state = describe_joystick(m_joystick->status());
  return view;
}

int MonitorModel::event_descriptor() const { return m_joystick->event_descriptor(); }

bool MonitorModel::drain_events() { return m_joystick->drain_events(); }

void MonitorModel::look_again() { m_joystick->look_again(); }

std::vector<std::string> MonitorModel::watched_folders() {
  return platform::joystick_device().watched_folders();
}

unsigned MonitorModel::poll_period_ms(const platform::JoystickCapabilities& caps) {
  return 2 * caps.min_period_ms;
}

bool MonitorModel::is_about_command(unsigned command) { return (command & 0xFFF0) == IDM_ABOUTBOX; }

bool MonitorModel::is_calibrate_command(unsigned command) {
  return (command & 0xFFF0) == IDM_CALIBRATE;
}
