#pragma once

#include <string>

// The program's own command line and what it answers, the same on Linux and
// on Windows: the Linux program prints the answer, the Windows program (which
// has no console) shows it in a message box. It knows --settings FILE,
// --help and --version and nothing else: on Linux Qt is given only the
// program name, so Qt's own options are unknown here too.

enum class CommandLineAction {
  RUN,           // no arguments but --settings: serve and show the monitor window
  SHOW_HELP,     // --help: help, status 0
  SHOW_VERSION,  // --version: version, status 0
  BAD_USAGE,     // anything else: error and usage, status 2
};

struct CommandLine {
  CommandLineAction action = CommandLineAction::RUN;
  std::string error;  // BAD_USAGE only: what was wrong, one line
  // RUN only: --settings FILE, the settings file to read instead of the default one.
  bool settings_given = false;
  std::string settings_file;
};

// Reads the arguments in order; the first that decides wins, as with getopt:
// "--help --bogus" shows help, "--bogus --help" is bad usage. Unambiguous
// prefixes ("--vers") are accepted, and "--" ends the options. --settings
// takes its FILE as the next argument or after '='; given twice, the last wins.
CommandLine parse_command_line(int argc, const char* const* argv);

// What the program answers to a command line that is not RUN: the text (help
// and version for standard output, the error line and usage for standard
// error) and the exit status.
struct CommandLineAnswer {
  std::string text;
  bool is_error = false;  // BAD_USAGE: the text belongs on standard error
  int status = 0;
};
CommandLineAnswer command_line_answer(const CommandLine& line);

// Exit statuses of the program.
inline constexpr int EXIT_BAD_USAGE = 2;
