#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire.h"

// The command line of capture-probe:
//
//   capture-probe [OPTIONS] COMMAND [NAME] [COMMAND OPTIONS]
//
// Options may stand anywhere, as "--opt VALUE" or "--opt=VALUE".
namespace probe {

enum class Command { NONE, LIST, INFO, WATCH, DEVICES, AXES, RECORD };

// Fast enough for a stick moved by hand, slow enough for any server.
inline constexpr double RECORD_RATE_HZ = 50.0;

struct ProbeOptions {
  Command command = Command::NONE;
  bool help = false;
  bool version = false;
  std::string name = DEFAULT_SERVER_NAME;  // NAME or --name NAME
  std::string registry;                    // empty: the user's registry
  // --address HOST:PORT: the server is reached there, not through the registry.
  std::string address_host;  // empty: look the server up in the registry
  std::uint16_t address_port = 0;
  std::uint32_t protocol = PROTOCOL_VERSION;
  int timeout_ms = 5000;
  double rate_hz = 10.0;     // RECORD_RATE_HZ for record
  std::uint64_t count = 0;  // 0: until interrupted
  double seconds = 0.0;     // record: how long; 0: until interrupted (or count)
  std::string output;       // record: the file to write; empty: standard output
  bool plain = false;       // one line per block even on a terminal
  bool raw = false;         // info: the channel table's words as they travel, too
  std::string device;       // axes: a device path or a part of its name; empty: joystick 0
};

// Fills *options from the arguments after the program name. False on bad
// usage, with a one-line reason in *error. A "--help" or "--version" anywhere
// sets help or version and stops checking, so either is answered even next to
// a mistake; help wins over version.
bool parse_probe_options(const std::vector<std::string>& args, ProbeOptions* options,
                         std::string* error);

// Help for the program (Command::NONE) or for one command.
std::string help_text(Command command);

// "capture-probe (Orvandelcaster) VERSION", as the program itself words it.
std::string version_text();

}  // namespace probe
