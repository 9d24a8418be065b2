#pragma once

#include <cstdint>

#include "platform/joystick.h"

// The joystick source: the four channels the server offers, fed from joystick 0.
//
//   order  name      usage  source field
//   1      "X"       3      dwXpos
//   2      "Y"       4      dwYpos
//   3      "Rudder"  7      dwRpos (fourth axis)
//   4      "Thrust"  5      dwZpos (third axis)

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

// Reads joystick 0's capabilities into *caps and fixes the axis scale:
// range = wXmax - wXmin (unsigned 32-bit, so a maximum below the minimum
// wraps to a large range), centre = range x 0.5.
void fix_axis_scale(platform::JoyCaps* caps);

// (raw - centre) / range, in double precision, rounded to float. raw is unsigned.
float channel_value(std::uint32_t raw);
