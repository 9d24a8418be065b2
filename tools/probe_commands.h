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
// watch blocks SIGINT and SIGTERM while it runs and takes either as the
// request to stop: it ends the session with MSG_END and returns STATUS_OK.
// Writes to a reader that went away (EPIPE) end watch the same way, so
// SIGPIPE should be ignored by the caller (platform::start_socket_library does).
int run_command(const ProbeOptions& options, std::FILE* out, std::FILE* err);

}  // namespace probe
