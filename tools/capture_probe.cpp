// capture-probe: looks at capture servers on this machine for a person at a
// terminal. See help_text() in probe_options.cpp for the commands.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/program_name.h"
#include "tools/probe_commands.h"
#include "tools/probe_options.h"

int main(int argc, char** argv) {
  platform::set_program_name("capture-probe");
  // Windows Sockets must be started before any socket call. On Linux this
  // ignores SIGPIPE for the process: a vanished server is a failed send, and a
  // reader that goes away (capture-probe watch | head) a failed write that
  // ends the watch, instead of a signal that would skip MSG_END.
  if (platform::start_socket_library() < 0) {
    std::fputs("capture-probe: the sockets cannot be used\n", stderr);
    return probe::STATUS_SERVER_FAILURE;
  }
  std::atexit(platform::stop_socket_library);

  std::vector<std::string> args(argv + 1, argv + argc);
  probe::ProbeOptions options;
  std::string error;
  if (!probe::parse_probe_options(args, &options, &error)) {
    std::fprintf(stderr, "capture-probe: %s (see capture-probe --help)\n", error.c_str());
    return probe::STATUS_USAGE;
  }
  if (options.help || options.version) {
    std::string text = options.help ? probe::help_text(options.command) : probe::version_text();
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? probe::STATUS_OK : probe::STATUS_SERVER_FAILURE;
  }
  return probe::run_command(options, stdout, stderr);
}
