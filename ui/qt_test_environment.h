#pragma once

#include "platform/fake_joystick.h"

// What every Qt test binary runs in: Qt's offscreen platform, a private
// runtime directory as a desktop session has one (Qt warns without it), and
// joystick 0 faked for the whole run (a server thread a test starts keeps
// reading it until the process ends).
platform::FakeJoysticks& test_joystick();

// Sets that up; call in main before the QApplication exists. suite names the
// runtime directory used when the environment has none.
void prepare_qt_test_environment(const char* suite);
