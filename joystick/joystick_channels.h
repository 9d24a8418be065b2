#pragma once

#include <cstdint>

#include "platform/joystick_device.h"

// The joystick source: the four channels the server offers, fed from joystick 0.
//
//   order  name      usage  source axis
//   1      "X"       3      x
//   2      "Y"       4      y
//   3      "Rudder"  7      r (fourth axis)
//   4      "Thrust"  5      z (third axis)

// The axis scale, fixed once by fix_axis_scale from the X axis's limits and
// used for all four axes. 0 until fixed. Written before the server thread
// starts and only read afterwards.
extern float g_axis_range;
extern float g_axis_centre;

// Defines the four channels in the channel table and keeps their records.
// Always returns 0; a channel that could not be defined stays null and later
// stores into it do nothing.
int define_joystick_channels();

// Reads joystick 0 once and stores the four channel values, in the order X, Y,
// Rudder, Thrust. Returns the result of the Thrust store.
int sample_joystick();

// A capture client's session begins: a recorded joystick 0 plays from its
// start at the session's first sample_joystick. Server thread only.
void restart_joystick_playback();

// Reads joystick 0's capabilities into *caps and fixes the axis scale:
// range = x_max - x_min (unsigned 32-bit, so a maximum below the minimum
// wraps to a large range), centre = range x 0.5.
void fix_axis_scale(platform::JoystickCapabilities* caps);

// (raw - centre) / range, in double precision, rounded to float. raw is unsigned.
float channel_value(std::uint32_t raw);

// The channel value of one axis of a reading, whichever of the two it is.
float axis_value(const platform::JoystickState& state, platform::MappedAxis axis);

// The raw value at which a bar of that axis is full: the axis range, or
// 65535 for a position.
float axis_bar_range(const platform::JoystickState& state, platform::MappedAxis axis);
