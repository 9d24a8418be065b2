#pragma once

namespace platform {

// The name that begins the lines the platform layer writes on standard error
// by itself (a refused settings file, a refused joystick choice): the
// program's, so a user knows which program speaks. "Orvandelcaster" unless
// the program names itself once at start, before any other thread runs.
void set_program_name(const char* name);
const char* program_name();

}  // namespace platform
