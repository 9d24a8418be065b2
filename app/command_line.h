#pragma once

#include <string>

// The program's own command line, read before Qt starts. It knows --help and
// --version and nothing else: the normal run takes no arguments, and Qt is
// given only the program name, so Qt's own options are unknown here too.

enum class CommandLineAction {
  RUN,           // no arguments: serve and show the monitor window
  SHOW_HELP,     // --help: help on stdout, status 0
  SHOW_VERSION,  // --version: version on stdout, status 0
  BAD_USAGE,     // anything else: error and usage on stderr, status 2
};

struct CommandLine {
  CommandLineAction action = CommandLineAction::RUN;
  std::string error;  // BAD_USAGE only: what was wrong, one line
};

// Reads the arguments in order; the first that decides wins, as with getopt:
// "--help --bogus" shows help, "--bogus --help" is bad usage. Unambiguous
// prefixes ("--vers") are accepted, and "--" ends the options.
CommandLine parse_command_line(int argc, const char* const* argv);

// Acts on a command line that is not RUN: prints what it asks for and returns
// the exit status (0, or 2 for bad usage; 1 when stdout cannot be written).
int answer_command_line(const CommandLine& line);

// Exit statuses of the program.
inline constexpr int EXIT_BAD_USAGE = 2;
