#pragma once

#include <cstdio>
#include <string>

// What capture-probe asks of the system it runs on; one file per system.
namespace probe {

// The name of the user running the probe, as it identifies itself to a
// server; empty when the system does not say.
std::string user_name();

// Whether out is a terminal, so watch may redraw one screen.
bool is_terminal(std::FILE* out);

// The listing of `capture-probe devices`: true with the text in *listing, or
// false with the line that says why there is none in *refusal.
bool list_devices(std::string* listing, std::string* refusal);

}  // namespace probe
