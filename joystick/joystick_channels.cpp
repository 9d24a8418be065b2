#include "joystick/joystick_channels.h"

#include "server_core/channels.h"

float g_axis_range = 0.0f;
float g_axis_centre = 0.0f;

namespace {

struct JoystickChannel {
  const char* name;
  std::int32_t usage;
};
constexpr JoystickChannel CHANNELS[4] = {
    {"X", USAGE_X}, {"Y", USAGE_Y}, {"Rudder", USAGE_RUDDER}, {"Thrust", USAGE_THRUST}};

// Server thread only. The records never move: four channels never grow the table.
ChannelRecord* g_channels[4] = {};
// The server thread's own handle and reading; never freed, since the thread
// runs until the process ends.
platform::JoystickReader* g_reader = nullptr;
platform::JoystickState g_reading = {};

}  // namespace

int define_joystick_channels() {
  for (int i = 0; i < 4; ++i)
    g_channels[i] = define_channel(CHANNELS[i].name, CHANNELS[i].usage, 1);
  return 0;
}

int sample_joystick() {
  if (!g_reader) g_reader = platform::joystick_device().open_reader().release();
  // A failed read leaves a centred reading, which is what clients then get.
  g_reader->read(&g_reading);
  // CHANNELS are in the order of platform::MAPPED_AXES.
  int result = 0;
  for (int i = 0; i < 4; ++i) {
    const float value = axis_value(g_reading, platform::MAPPED_AXES[i]);
    result = store_channel_data(g_channels[i], &value);
  }
  return result;
}

void restart_joystick_playback() {
  // A reader not yet opened starts at its first reading anyway.
  if (g_reader) g_reader->restart_playback();
}

void fix_axis_scale(platform::JoystickCapabilities* caps) {
  platform::joystick_device().get_capabilities(caps);
  std::uint32_t range = caps->x_max - caps->x_min;
  g_axis_range = static_cast<float>(range);
  // Half the range, not the midpoint of min and max.
  g_axis_centre = static_cast<float>(range * 0.5);
}

float channel_value(std::uint32_t raw) {
  return static_cast<float>((static_cast<double>(raw) - g_axis_centre) / g_axis_range);
}

namespace {

// (position - 32767.5) / 65535 in the same way: the value of an axis the
// user's mapping scaled to 0..65535, whatever the driver's units.
float position_value(std::uint32_t position) {
  return static_cast<float>((static_cast<double>(position) - 32767.5) / 65535.0);
}

}  // namespace

float axis_value(const platform::JoystickState& state, platform::MappedAxis axis) {
  const std::uint32_t value = platform::axis_of(state, axis);
  return platform::is_position(state, axis) ? position_value(value) : channel_value(value);
}

float axis_bar_range(const platform::JoystickState& state, platform::MappedAxis axis) {
  return platform::is_position(state, axis) ? 65535.0f : g_axis_range;
}
