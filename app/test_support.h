#pragma once

#include "platform/fake_joystick.h"

// Joystick 0 for the whole test run.
platform::FakeJoysticks& test_joystick();
