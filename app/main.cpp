// orvandelcaster: makes joystick 0 available to capture clients and shows it
// live in the monitor window. Its options are --settings FILE, --help and
// --version.

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/display_check.h"
#include "app/qt_environment.h"
#include "app/server_app.h"
#include "app/stop_signals.h"
#include "server/capture_server.h"

int main(int argc, char** argv) {
  // First: a stop signal is taken in every phase, and every thread the
  // program starts inherits the blocked signals.
  watch_stop_signals();
  CommandLine line = parse_command_line(argc, argv);
  if (line.action != CommandLineAction::RUN) return answer_command_line(line);
  // Before anything reads a setting or says a line: both follow the instance.
  const char* settings_file = line.settings_given ? line.settings_file.c_str() : nullptr;
  std::string refusal;
  if (configure_instance(settings_file, &refusal) < 0) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 1;
  }

  QtEnvironment qt_environment;
  // A display that cannot be used ends the program here, the ordinary way,
  // before Qt would abort on it.
  const DisplayChoice display = choose_display_platform();
  if (!display.failure.empty()) {
    std::fprintf(stderr, "%s\n", display.failure.c_str());
    return 1;
  }
  // Qt is given the program name only: the program has read its arguments.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  return run_application(g_server_app, qt_argc, qt_argv);
}
