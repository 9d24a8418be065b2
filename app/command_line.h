#pragma once

#include "res/program_options.h"

// Prints the answer to a command line that is not RUN where a terminal
// shows it: help and version on stdout, bad usage on stderr. Returns the exit
// status (0, or 2 for bad usage; 1 when stdout cannot be written).
int answer_command_line(const CommandLine& line);
