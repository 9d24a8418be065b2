#include "monitor/monitor_model.h"

#include <gtest/gtest.h>

#include "joystick/joystick_channels.h"
#include "platform/fake_joystick_device.h"
#include "res/resource.h"

namespace {

TEST(MonitorModel, ATickShowsEachAxisOnItsBarAndButtonsOneToEight) {
  platform::ScopedFakeJoystickDevice fake;
  fake.set_axes(100, 200, 300, 400);  // x, y, z, r
  fake.set_buttons(0x105u);           // buttons 1, 3 and 9
  g_axis_range = 1000.0f;
  MonitorModel model;

  MonitorView view = model.tick();
  const int bars[][2] = {
      {IDC_BAR_X, 100}, {IDC_BAR_Y, 200}, {IDC_BAR_RUDDER, 400}, {IDC_BAR_THRUST, 300}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(view.bars[i].control_id, bars[i][0]);
    EXPECT_EQ(view.bars[i].raw, bars[i][1]);
    EXPECT_EQ(view.bars[i].range, 1000.0f);
  }
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(view.buttons[i].control_id, IDC_BUTTON_BOX_1 + static_cast<int>(i));
    EXPECT_EQ(view.buttons[i].pressed, i == 0 || i == 2) << "button " << i + 1;
  }
  EXPECT_EQ(view.state, (JoystickStateText{"Fake Joystick", "Joystick 0: /dev/input/event0"}));

  // Unplugged: centred, nothing pressed, and why.
  fake.set_present(false);
  view = model.tick();
  EXPECT_EQ(view.bars[0].raw, static_cast<std::int32_t>(platform::AXIS_CENTRED));
  EXPECT_FALSE(view.buttons[0].pressed);
  EXPECT_EQ(view.state.title, "No joystick");
}

TEST(MonitorModel, PollPeriodAndAboutCommand) {
  EXPECT_EQ(MonitorModel::poll_period_ms({0, 65535, 15}), 30u);
  EXPECT_TRUE(MonitorModel::is_about_command(IDM_ABOUTBOX | 0xF));
  EXPECT_FALSE(MonitorModel::is_about_command(IDM_ABOUTBOX + 0x10));
}

}  // namespace
