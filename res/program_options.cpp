#include "res/program_options.h"

#include <string_view>

#include "platform/outside_text.h"
#include "res/version_info.h"

namespace {

constexpr const char* PROGRAM = "orvandelcaster";

constexpr std::string_view OPTIONS[] = {"--help", "--settings", "--version"};

constexpr const char* USAGE =
    "Usage: orvandelcaster [--settings FILE] [--help | --version]\n"
    "Try 'orvandelcaster --help' for more information.\n";

// The help's first and last parts are the same on both systems; what lies
// between tells how each one runs. Keep in step with
// docs/man/orvandelcaster.1.scd and packaging/windows/README.txt.in, which say
// the same at length.
constexpr const char* HELP_HEAD =
    "Usage: orvandelcaster [--settings FILE] [--help | --version]\n"
    "Serve joystick 0 to capture clients and show it live in a monitor window.\n"
    "\n"
    "Joystick 0's four axes (X, Y, Rudder, Thrust) are served as float channels to\n"
    "one capture client at a time over TCP on 127.0.0.1; the port is published\n"
    "under the instance's name in the user's shared-memory registry: the line\n"
    "'name = NAME' of the settings file (1 to 63 printable ASCII characters\n"
    "without ':'), \"Orvandelcaster\" by default. One instance runs per name; two\n"
    "settings files with two names and two joysticks make two instances.\n";

constexpr const char* HELP_OPTIONS =
    "      --settings FILE  read the settings from FILE instead of the default\n"
    "                       settings file; FILE must exist and be readable\n"
    "      --help           display this help and exit\n"
    "      --version        output version information and exit\n"
    "\n";

#ifdef _WIN32
constexpr const char* HELP_RUN =
    "Esc or closing the window ends the program. Joystick 0 is the joystick the\n"
    "multimedia joystick calls number 0; 'capture-probe devices' lists them all.\n"
    "\n"
    "Settings: %APPDATA%\\Orvandelcaster\\settings.conf, lines 'key = value'.\n"
    "'joystick = N' (1 to 16) reads the multimedia joystick N instead; the keys\n"
    "x, y, rudder and thrust map the axes X, Y, Z, R, U and V (README.txt).\n"
    "\n";

constexpr const char* HELP_TAIL =
    "Exit status: 0 when closed, 1 when the server cannot go on or the settings\n"
    "cannot be used (for example \"Orvandelcaster: already running\"), 2 on bad\n"
    "usage.\n"
    "\n"
    "See README.txt beside the program for more.\n";
#else
constexpr const char* HELP_RUN =
    "Esc or closing the window ends the program, as do SIGINT, SIGTERM and SIGHUP.\n"
    "\n"
    "Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) and with\n"
    "QT_QPA_PLATFORM unset, no window is shown: the program runs on Qt's offscreen\n"
    "platform and serves headless until SIGINT or SIGTERM. Standard output says\n"
    "what it does (serving, joystick 0's state changes, stopped), one line each;\n"
    "standard error carries only what needs the user: the server's diagnostics,\n"
    "refusals, a display that cannot be opened.\n"
    "\n";

constexpr const char* HELP_TAIL =
    "Environment:\n"
    "  ORVANDELCASTER_JOYSTICK  joystick 0: a device path (starting with /), a\n"
    "                           case-insensitive name substring, or replay:FILE, a\n"
    "                           recording of capture-probe record played as the stick\n"
    "                           (a relative FILE is in the settings file's folder);\n"
    "                           overrides the line 'joystick = VALUE' of the settings\n"
    "                           file (${XDG_CONFIG_HOME:-~/.config}/orvandelcaster/\n"
    "                           settings.conf unless --settings names another)\n"
    "  ORVANDELCASTER_REGISTRY  shared-memory registry object to publish in, instead\n"
    "                           of /Capture_Unix_Socket_Share.UID\n"
    "\n"
    "Mapping and calibration, lines of the same settings file (CH is x, y, rudder\n"
    "or thrust; a changed file applies within a second):\n"
    "  CH = [-]AXIS                  the absolute axis CH reads (ABS_RX, ABS_GAS...;\n"
    "                                default ABS_X, ABS_Y, ABS_RUDDER else ABS_RZ,\n"
    "                                ABS_THROTTLE else ABS_Z); '-' inverts it\n"
    "  CH.calibration = MIN CENTRE MAX  the axis's range and rest, in its own units\n"
    "  CH.deadzone = PERCENT         0 to 50: this share of each half around the\n"
    "                                centre reads centred\n"
    "\n"
    "Exit status: 0 when closed or stopped, 1 when the server cannot go on or the\n"
    "settings cannot be used (for example \"Orvandelcaster: already running\"), 2 on\n"
    "bad usage.\n"
    "\n"
    "See orvandelcaster(1) for more.\n";
#endif

// The option an argument names: exact, or the one option it is a prefix of.
std::string_view match_option(std::string_view argument, bool* ambiguous) {
  *ambiguous = false;
  std::string_view found;
  for (std::string_view option : OPTIONS) {
    if (option == argument) return option;
    if (argument.size() > 2 && option.starts_with(argument)) {
      if (!found.empty()) *ambiguous = true;
      found = option;
    }
  }
  return *ambiguous ? std::string_view() : found;
}

// An argument as the error line shows it: whatever it holds, the line stays one.
std::string shown(std::string_view argument) { return platform::printable_outside_text(argument); }

CommandLine bad_usage(std::string error) {
  CommandLine line;
  line.action = CommandLineAction::BAD_USAGE;
  line.error = std::move(error);
  return line;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
  CommandLine run;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument == "--") {
      if (i + 1 < argc) return bad_usage("unexpected argument '" + shown(argv[i + 1]) + "'");
      break;
    }
    if (!argument.starts_with("--")) {
      if (argument.starts_with("-") && argument.size() > 1) {
        return bad_usage("invalid option '" + shown(argument) + "'");
      }
      return bad_usage("unexpected argument '" + shown(argument) + "'");
    }
    std::string_view name = argument.substr(0, argument.find('='));
    bool ambiguous = false;
    std::string_view option = match_option(name, &ambiguous);
    if (ambiguous) return bad_usage("option '" + shown(name) + "' is ambiguous");
    if (option.empty()) return bad_usage("unrecognized option '" + shown(name) + "'");
    if (option == "--settings") {
      if (name.size() != argument.size()) {
        run.settings_file = std::string(argument.substr(name.size() + 1));
      } else if (i + 1 < argc) {
        run.settings_file = argv[++i];
      } else {
        return bad_usage("option '--settings' requires an argument");
      }
      run.settings_given = true;
      continue;
    }
    if (name.size() != argument.size()) {
      return bad_usage("option '" + std::string(option) + "' doesn't allow an argument");
    }
    CommandLine answer;
    answer.action =
        option == "--help" ? CommandLineAction::SHOW_HELP : CommandLineAction::SHOW_VERSION;
    return answer;
  }
  return run;
}

CommandLineAnswer command_line_answer(const CommandLine& line) {
  switch (line.action) {
    case CommandLineAction::SHOW_HELP:
      return {std::string(HELP_HEAD) + HELP_RUN + HELP_OPTIONS + HELP_TAIL, false, 0};
    case CommandLineAction::SHOW_VERSION:
      return {std::string(PROGRAM) + " (" + internal_name() + ") " + shown_version() +
                  "\nCopyright (C) Orvandelcaster team\n",
              false, 0};
    case CommandLineAction::BAD_USAGE:
      return {std::string(PROGRAM) + ": " + line.error + "\n" + USAGE, true, EXIT_BAD_USAGE};
    case CommandLineAction::RUN:
      break;
  }
  return {};
}
