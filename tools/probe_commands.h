#pragma once

#include <cstdio>

#include "tools/probe_options.h"

namespace probe {

// Exit statuses of capture-probe.
inline constexpr int STATUS_OK = 0;
inline constexpr int STATUS_SERVER_FAILURE = 1;  // the registry or the server could not be used
inline constexpr int STATUS_USAGE = 2;

// Runs the command that options name, writing its output to out and one line
// per failure, "capture-probe: ...", to err. Returns the exit status.
//
// watch, record and axes block SIGINT and SIGTERM while they run and take
// either as the request to stop: watch and record end the session with MSG_END
// (record with its file complete); all return STATUS_OK. Writes to a reader
// that went away (EPIPE) end them the same way, so
// SIGPIPE should be ignored by the caller (platform::start_socket_library does).
int run_command(const ProbeOptions& options, std::FILE* out, std::FILE* err);

}  // namespace probe
