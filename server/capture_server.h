#pragma once

#include <pthread.h>

#include "platform/joystick_device.h"

// Starts the capture server of this process: reads joystick 0's capabilities
// into *caps and fixes the axis scale from them, then starts the one server
// thread (server_thread), detached and never joined: it serves until the
// process ends. The scale is fixed before the thread exists, so the thread's
// creation orders that write before every read the thread makes.
//
// Later calls fill *caps and fix the scale again but start no second thread.
// True when the server thread runs; false when it could not be started (the
// caller then goes on without a server). *thread, when given, receives the
// thread's handle.
bool start_capture_server(platform::JoystickCapabilities* caps, pthread_t* thread = nullptr);
