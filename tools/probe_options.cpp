#include "tools/probe_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "platform/outside_text.h"
#include "protocol/registry_layout.h"

namespace probe {
namespace {

constexpr long long MAX_TIMEOUT_MS = 3600000;
constexpr double MAX_RATE_HZ = 1000.0;
// One block in 1000 s: any slower and a period would not fit the steady
// clock's count of nanoseconds long before it stops meaning anything.
constexpr double MIN_RATE_HZ = 0.001;
constexpr double MAX_RECORD_SECONDS = 86400.0;

// An option's value as a line may show it: the user's own text, but it may
// have been pasted or come from a script's variable.
std::string shown(const std::string& value) { return platform::printable_outside_text(value); }

std::optional<Command> command_named(const std::string& word) {
  if (word == "list") return Command::LIST;
  if (word == "info") return Command::INFO;
  if (word == "watch") return Command::WATCH;
  if (word == "devices") return Command::DEVICES;
  if (word == "axes") return Command::AXES;
  if (word == "record") return Command::RECORD;
  return std::nullopt;
}

const char* command_word(Command command) {
  switch (command) {
    case Command::LIST:
      return "list";
    case Command::INFO:
      return "info";
    case Command::WATCH:
      return "watch";
    case Command::DEVICES:
      return "devices";
    case Command::AXES:
      return "axes";
    case Command::RECORD:
      return "record";
    case Command::NONE:
      break;
  }
  return "";
}

// Whole decimal numbers only: "010" is ten, "0x10", "1e3", " 5" and "5s" are refused.
std::optional<unsigned long long> parse_count(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return value;
}

std::optional<double> parse_real(const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  }
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

// "HOST:PORT", split at the last ':' (a host name holds none); the port a
// whole decimal number from 1 to 65535.
bool parse_address(const std::string& text, std::string* host, std::uint16_t* port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  auto number = parse_count(text.substr(colon + 1));
  if (!number || *number < 1 || *number > 65535) return false;
  *host = text.substr(0, colon);
  *port = static_cast<std::uint16_t>(*number);
  return true;
}

constexpr unsigned command_bit(Command command) { return 1u << static_cast<unsigned>(command); }
constexpr unsigned ANY_COMMAND = 0;
constexpr unsigned WATCH_OR_RECORD = command_bit(Command::WATCH) | command_bit(Command::RECORD);
// The commands that talk to one server, which a NAME or --address chooses.
constexpr unsigned SERVER_COMMANDS = command_bit(Command::INFO) | WATCH_OR_RECORD;

// What the registry's slot holds.
bool usable_server_name(const std::string& name) {
  return !name.empty() && name.size() <= MAX_REGISTERED_NAME;
}
constexpr const char* SERVER_NAME_RULE = "a server name has 1 to 107 characters";

struct OptionSpec {
  const char* name;
  bool takes_value;
  unsigned commands;  // the commands it belongs to (command_bit); ANY_COMMAND: any
  bool server_only;   // meaningless for devices and axes, which talk to no server
};

// --name chooses the server of every command that talks to one; list shows them all.
constexpr OptionSpec OPTIONS[] = {
    {"--name", true, ANY_COMMAND, true},
    {"--registry", true, ANY_COMMAND, true},
    {"--address", true, ANY_COMMAND, true},
    {"--protocol", true, ANY_COMMAND, true},
    {"--timeout", true, ANY_COMMAND, true},
    {"--rate", true, WATCH_OR_RECORD, true},
    {"--count", true, WATCH_OR_RECORD, true},
    {"--plain", false, command_bit(Command::WATCH), true},
    {"--raw", false, command_bit(Command::INFO), true},
    {"--seconds", true, command_bit(Command::RECORD), true},
    {"--output", true, command_bit(Command::RECORD), true},
    {"--device", true, command_bit(Command::AXES), false},
};

// "watch", "watch and record", "info, watch and record": the commands of a
// bit set, for a line.
std::string command_words(unsigned commands) {
  std::vector<const char*> named;
  for (Command command : {Command::LIST, Command::INFO, Command::WATCH, Command::DEVICES,
                          Command::AXES, Command::RECORD}) {
    if (commands & command_bit(command)) named.push_back(command_word(command));
  }
  std::string words;
  for (std::size_t i = 0; i < named.size(); ++i) {
    words += (i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + std::string(named[i]);
  }
  return words;
}

const OptionSpec* option_named(const std::string& name) {
  for (const OptionSpec& spec : OPTIONS) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

// Stores one option's value; false with the reason when the value is unusable.
bool apply_option(const std::string& name, const std::string& value, ProbeOptions* options,
                  std::string* error) {
  if (name == "--name") {
    if (!usable_server_name(value)) {
      *error = SERVER_NAME_RULE;
      return false;
    }
    options->name = value;
  } else if (name == "--registry") {
    if (value.empty()) {
      *error = "--registry needs the name of a shared-memory object";
      return false;
    }
    options->registry = value;
  } else if (name == "--address") {
    if (!parse_address(value, &options->address_host, &options->address_port)) {
      *error =
          "--address takes HOST:PORT with a port from 1 to 65535, not \"" + shown(value) + "\"";
      return false;
    }
  } else if (name == "--protocol") {
    auto version = parse_count(value);
    if (!version || *version > 0xFFFFFFFFull) {
      *error =
          "--protocol takes a version number from 0 to 4294967295, not \"" + shown(value) + "\"";
      return false;
    }
    options->protocol = static_cast<std::uint32_t>(*version);
  } else if (name == "--timeout") {
    auto ms = parse_count(value);
    if (!ms || *ms < 1 || *ms > static_cast<unsigned long long>(MAX_TIMEOUT_MS)) {
      *error = "--timeout takes milliseconds from 1 to 3600000, not \"" + shown(value) + "\"";
      return false;
    }
    options->timeout_ms = static_cast<int>(*ms);
  } else if (name == "--rate") {
    auto hz = parse_real(value);
    if (!hz || !(*hz >= MIN_RATE_HZ) || *hz > MAX_RATE_HZ) {
      *error = "--rate takes blocks per second, from 0.001 to 1000, not \"" +
               shown(value) + "\"";
      return false;
    }
    options->rate_hz = *hz;
  } else if (name == "--count") {
    auto blocks = parse_count(value);
    if (!blocks || *blocks < 1) {
      *error = "--count takes a number of blocks, 1 or more, not \"" + shown(value) + "\"";
      return false;
    }
    options->count = *blocks;
  } else if (name == "--seconds") {
    auto seconds = parse_real(value);
    if (!seconds || *seconds <= 0.0 || *seconds > MAX_RECORD_SECONDS) {
      *error = "--seconds takes seconds, more than 0 and at most 86400, not \"" + shown(value) +
               "\"";
      return false;
    }
    options->seconds = *seconds;
  } else if (name == "--output") {
    if (value.empty()) {
      *error = "--output needs the name of a file";
      return false;
    }
    options->output = value;
  } else if (name == "--plain") {
    options->plain = true;
  } else if (name == "--raw") {
    options->raw = true;
  } else if (name == "--device") {
#ifdef _WIN32
    // The multimedia calls name no devices: axes shows joystick 0.
    *error = "--device is for Linux; on Windows axes shows joystick 0";
    return false;
#else
    if (value.empty()) {
      *error = "--device needs a device path or a part of its name";
      return false;
    }
    options->device = value;
#endif
  }
  return true;
}

}  // namespace

bool parse_probe_options(const std::vector<std::string>& args, ProbeOptions* options,
                         std::string* error) {
  *options = ProbeOptions{};
  std::string first_error;
  auto note = [&first_error](const std::string& reason) {
    if (first_error.empty()) first_error = reason;
  };
  std::vector<std::string> positional;
  std::vector<const OptionSpec*> given;
  bool options_ended = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options->help = true;
      continue;
    }
    if (arg == "--version") {
      options->version = true;
      continue;
    }
    std::size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    const OptionSpec* spec = option_named(name);
    if (!spec) {
      note("unknown option \"" + shown(name) + "\"");
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (!spec->takes_value) {
        note(name + " takes no value");
        continue;
      }
      value = arg.substr(equals + 1);
    } else if (spec->takes_value) {
      if (i + 1 == args.size()) {
        note(name + " needs a value");
        continue;
      }
      value = args[++i];
    }
    std::string reason;
    if (!apply_option(name, value, options, &reason)) note(reason);
    given.push_back(spec);
  }

  if (!positional.empty()) {
    if (auto command = command_named(positional[0])) {
      options->command = *command;
    } else {
      note("unknown command \"" + shown(positional[0]) + "\"");
    }
  }
  if (options->help || options->version) return true;

  auto was_given = [&given](const char* name) {
    return std::any_of(given.begin(), given.end(),
                       [name](const OptionSpec* spec) { return std::string(spec->name) == name; });
  };
  if (first_error.empty() && options->command == Command::NONE) note("no command given");
  if (first_error.empty() && positional.size() > 1) {
    if (!(command_bit(options->command) & SERVER_COMMANDS)) {
      note(std::string(command_word(options->command)) + " takes no server name");
    } else if (positional.size() > 2) {
      note("unexpected argument \"" + shown(positional[2]) + "\"");
    } else if (!usable_server_name(positional[1])) {
      note(SERVER_NAME_RULE);
    } else if (was_given("--name")) {
      note("--name and a NAME argument exclude each other");
    } else {
      options->name = positional[1];
    }
  }
  if (first_error.empty() && was_given("--name") && options->command == Command::LIST) {
    note("list shows every name; --name is for " + command_words(SERVER_COMMANDS));
  }
  if (first_error.empty() && !options->address_host.empty()) {
    if (options->command == Command::LIST)
      note("list reads the registry; --address is for " + command_words(SERVER_COMMANDS));
    if (!options->registry.empty()) note("--address and --registry exclude each other");
  }
  for (const OptionSpec* spec : given) {
    if (spec->server_only && first_error.empty() &&
        (options->command == Command::DEVICES || options->command == Command::AXES)) {
      note(std::string(spec->name) + " does not apply to " + command_word(options->command));
    }
    if (spec->commands != ANY_COMMAND && !(spec->commands & command_bit(options->command)) &&
        first_error.empty()) {
      note(std::string(spec->name) + " belongs to " + command_words(spec->commands) +
           ", not to " + command_word(options->command));
    }
  }
  if (first_error.empty() && was_given("--count") && was_given("--seconds"))
    note("--count and --seconds exclude each other");
  if (options->command == Command::RECORD && !was_given("--rate"))
    options->rate_hz = RECORD_RATE_HZ;
  if (!first_error.empty()) {
    *error = first_error;
    return false;
  }
  return true;
}

std::string help_text(Command command) {
  const char* common =
      "Options for the commands that talk to a server:\n"
      "  --name NAME        the server published as NAME (default \"Orvandelcaster\"),\n"
      "                     as the NAME argument chooses it\n"
      "  --registry OBJECT  the shared-memory registry to read (default: the user's)\n"
      "  --address HOST:PORT  talk to the server listening there instead of looking\n"
      "                     NAME up in the registry (info, watch and record)\n"
      "  --protocol N       the protocol version to announce (default 300)\n"
      "  --timeout MS       how long to wait for the server each time (default 5000)\n"
      "  --help             show this help\n";
  std::string text;
  switch (command) {
    case Command::NONE:
      text =
          "Usage: capture-probe [OPTIONS] COMMAND [NAME] [COMMAND OPTIONS]\n"
          "Looks at capture servers on this machine.\n"
          "\n"
          "Commands:\n"
          "  list          the servers published in the registry, serving or not\n"
          "  info [NAME]   a server's information and channels\n"
          "  watch [NAME]  a server's channel values, live\n"
          "  devices       the input devices, their axes, which one is joystick 0 and the\n"
          "                mapping in force for it (no server needed)\n"
          "  axes          a device's absolute axes, live (no server needed)\n"
          "  record [NAME] a server's channel values as CSV, to replay later\n"
          "NAME defaults to \"Orvandelcaster\". \"capture-probe COMMAND --help\" tells more.\n"
          "\n";
      text += common;
      text += "  --version          show the version\n";
      text +=
          "\n"
          "Exit status: 0 on success, 1 when the server cannot be reached or talked to\n"
          "(for axes: when the device cannot be read), 2 on bad usage.\n";
      break;
    case Command::LIST:
      text =
          "Usage: capture-probe list [OPTIONS]\n"
          "Lists the registry's slots in use: slot number, port, server name and\n"
          "what listens on the port, as the system's socket table tells (the port\n"
          "is never connected to):\n"
          "  serving         a server of yours listens there, waiting for a client\n"
          "  dead            nothing listens there: a server that ended left it\n"
          "  another user's  that user's socket listens there (user and uid shown)\n"
          "A server busy with a client has no slot until its session ends; for\n"
          "\"Orvandelcaster\" the list then says that it is busy with a client.\n"
          "\n";
      text += common;
      break;
    case Command::INFO:
      text =
          "Usage: capture-probe info [NAME] [OPTIONS]\n"
          "Connects to the server published as NAME (default \"Orvandelcaster\"),\n"
          "identifies itself, checks the protocol version, and prints the server's\n"
          "name, version, description and address, its channels (name, what the\n"
          "values stand for, how many values) and the size of a data block.\n"
          "\n"
          "  --raw              also the channel table's fields as they travel:\n"
          "                     index, usage code, table head and reply head\n";
      text += common;
      break;
    case Command::WATCH:
      text =
          "Usage: capture-probe watch [NAME] [OPTIONS]\n"
          "Connects to the server published as NAME (default \"Orvandelcaster\") and\n"
          "asks for a data block at a steady rate. On a terminal the view is redrawn\n"
          "in place with a bar per channel; otherwise each block is one line:\n"
          "  BLOCK SECONDS NAME=VALUE ...\n"
          "Values have six decimals (+0.500000): the joystick's values,\n"
          "(raw - 32767.5) / 65535, lie 1/65535 apart, so no two of them read alike.\n"
          "Runs until --count blocks have been shown or Ctrl-C, then ends the session.\n"
          "\n"
          "  --rate HZ          blocks per second (default 10; 0.001 to 1000)\n"
          "  --count N          stop after N blocks\n"
          "  --plain            one line per block on a terminal too\n";
      text += common;
      break;
    case Command::RECORD:
      text =
          "Usage: capture-probe record [NAME] [OPTIONS]\n"
          "Connects to the server published as NAME (default \"Orvandelcaster\"), asks\n"
          "for a data block at a steady rate and writes each one as a CSV row: first\n"
          "the header \"seconds\" and the channels' names (quoted where CSV needs it),\n"
          "then per block the seconds since the first block (%.6f, a monotonic clock)\n"
          "and each value (%.9g, so every float reads back bit for bit). Runs until\n"
          "--count blocks, --seconds or Ctrl-C, then ends the session; the file is\n"
          "complete whichever ends it.\n"
          "\n"
#ifndef _WIN32
          "The orvandelcaster setting \"joystick = replay:FILE\" (or\n"
          "ORVANDELCASTER_JOYSTICK=replay:FILE) serves such a file as joystick 0.\n"
          "\n"
#endif
          "  --rate HZ          blocks per second (default 50; 0.001 to 1000)\n"
          "  --count N          stop after N blocks\n"
          "  --seconds S        stop after S seconds\n"
          "  --output FILE      write to FILE (replaced) instead of standard output\n";
      text += common;
      break;
    case Command::DEVICES:
#ifdef _WIN32
      text =
          "Usage: capture-probe devices\n"
          "Lists the joysticks the multimedia joystick calls can read, with their id,\n"
          "axes (count and ranges) and name, and which one is joystick 0 -- the\n"
          "joystick the capture server serves, id 0 -- or that there is none.\n"
          "\n"
          "  --help             show this help\n";
      break;
#endif
      text =
          "Usage: capture-probe devices\n"
          "Lists every /dev/input/event* with its name, whether it may be read,\n"
          "whether it is a joystick (and why not), and which one is joystick 0 --\n"
          "the device the capture server serves -- or why there is none.\n"
          "\n"
          "A joystick has absolute X and Y axes and a joystick or gamepad button.\n"
          "Joystick 0 is the lowest-numbered joystick that may be read. To choose\n"
          "another, set ORVANDELCASTER_JOYSTICK, or the line \"joystick = VALUE\" in\n"
          "${XDG_CONFIG_HOME:-~/.config}/orvandelcaster/settings.conf, to a device path\n"
          "(/dev/input/event5, /dev/input/by-id/...) or to a part of its name (case is\n"
          "ignored), or to replay:FILE, a recording of \"capture-probe record\" served\n"
          "as joystick 0; the variable wins over the file. A chosen device that is\n"
          "absent is not replaced by another.\n"
          "\n"
          "Then, for each device that may be read, its absolute axes: name, limits,\n"
          "flat, fuzz and the value now; and the mapping in force for joystick 0: per\n"
          "channel the axis it reads (one the device lacks reads centred), whether it\n"
          "is inverted, its calibration and its dead zone, from the keys x, y, rudder\n"
          "and thrust of the settings file, with any of its lines that are ignored.\n"
          "\n"
          "  --help             show this help\n";
      break;
    case Command::AXES:
#ifdef _WIN32
      text =
          "Usage: capture-probe axes\n"
          "Shows the six axes of joystick 0 (the joystick chosen by joystick = N,\n"
          "by default 1) live: per axis its letter (X, Y, Z, R, U, V: the names the\n"
          "settings file's keys take), raw value, range and a bar, so you see which\n"
          "control is which axis; an axis the joystick lacks has no range.\n";
#else
      text =
          "Usage: capture-probe axes [--device PATH|NAME]\n"
          "Shows every absolute axis of a device live: per axis its name (ABS_X,\n"
          "ABS_RY, ...: the names the settings file's keys take), raw value, limits\n"
          "and a bar, so you see which control is which axis.\n";
#endif
      text +=
          "On a terminal the view is redrawn in place until Ctrl-C; otherwise a line\n"
          "SECONDS AXIS=VALUE ... is written at the start and whenever a value changes.\n"
          "The device is read 20 times a second without waiting on it; when it goes\n"
          "away, one line says so and the status is 1.\n"
          "\n";
#ifndef _WIN32
      text +=
          "  --device PATH|NAME\n"
          "                     the device at PATH (/dev/input/event5,\n"
          "                     /dev/input/by-id/...), or the lowest-numbered one whose\n"
          "                     name holds NAME, case ignored; any input device, not\n"
          "                     only joysticks (default: joystick 0)\n";
#endif
      text += "  --help             show this help\n";
      break;
  }
  return text;
}

std::string version_text() {
  return std::string("capture-probe (") + DEFAULT_SERVER_NAME + ") " + PROBE_VERSION + "\n";
}

}  // namespace probe
