#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// This instance's name: the one it publishes in the registry, takes the
// instance lock of, gives in the server information reply and its lines, and
// shows as the window's caption. Several instances of one user run side by
// side under different names, each with its own settings file; the name comes
// from the line "name = NAME" of that file, "Orvandelcaster" when none is
// given. The hosting program reaches this through server/capture_server.h.

inline constexpr char NAME_SETTING[] = "name";
// The server information reply holds the name in 64 bytes with its zero.
inline constexpr std::size_t INSTANCE_NAME_MAX = 63;

// 1 to INSTANCE_NAME_MAX printable ASCII characters without ':' (a name with a
// colon is an address of the fixed-port form, not a registry name).
bool valid_instance_name(std::string_view name);

// Makes name (valid) this instance's name. Call it before any other thread runs.
void set_instance_name(const std::string& name);

// Reads this instance's settings, first of all (before any other thread and
// any other reader of a setting): settings_file, when not null (--settings
// FILE), becomes the settings file of every reader of every setting, and the
// file's "name = NAME" becomes the instance's name. 0, or -1 with the line to
// show: a settings file given that is missing or cannot be read, or a name
// that is not 1 to 63 printable ASCII characters without ':'.
int configure_instance(const char* settings_file, std::string* failure_line);

// This instance's name ("Orvandelcaster" unless its settings name another):
// published in the registry, reported by the server, shown as the window's
// caption and at the start of the program's lines. Valid for the life of the
// process.
const char* instance_name();
