#pragma once

#include <string>
#include <string_view>

// This instance's name: the one it publishes in the registry, takes the
// instance lock of, gives in the server information reply and its lines, and
// shows as the window's caption. Several instances of one user run side by
// side under different names, each with its own settings file; the name comes
// from the line "name = NAME" of that file (configure_instance, declared in
// server/capture_server.h), "Orvandelcaster" when none is given.

inline constexpr char NAME_SETTING[] = "name";
// The server information reply holds the name in 64 bytes with its zero.
inline constexpr std::size_t INSTANCE_NAME_MAX = 63;

// 1 to INSTANCE_NAME_MAX printable ASCII characters without ':' (a name with a
// colon is an address of the fixed-port form, not a registry name).
bool valid_instance_name(std::string_view name);

// Makes name (valid) this instance's name. Call it before any other thread runs.
void set_instance_name(const std::string& name);
