// orvandelcaster: makes joystick 0 available to capture clients and shows it
// live in the monitor window. Takes no arguments and reads no configuration.

#include "app/server_app.h"

int main(int argc, char** argv) { return run_application(g_server_app, argc, argv); }
