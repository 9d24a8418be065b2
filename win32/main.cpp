// The Windows program: a dialog application. It answers --help and --version
// (status 0) and bad usage (status 2) in a message box, readies the sockets,
// runs the monitor dialog (which starts the capture server) until the user
// closes it, and ends with status 0; the server thread ends it with status 1
// when it cannot listen or accept, through the dialog, so that only the main
// thread ever runs the exit. A refusal at start (another instance, the
// registry, the sockets) is a box too, and status 1.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/program_options.h"
#include "res/resource.h"
#include "server/capture_server.h"
#include "win32/monitor_dialog.h"

namespace {

void end_through_dialog(int status) {
  if (!CMonitorDlg::end_with_status(status)) std::exit(status);
}

// Whether a standard stream leads anywhere (a console, a file, a pipe): a
// program started from the desktop has none, and its user sees only boxes.
bool leads_somewhere(DWORD standard_handle) {
  HANDLE handle = ::GetStdHandle(standard_handle);
  return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Tells the user text (one or more lines, each ending in a newline) in a box,
// and on the standard stream as well when the program has one, so a script
// that starts it can read the same; returns when the box is dismissed.
void tell(const std::string& text, bool is_error) {
  std::FILE* stream = is_error ? stderr : stdout;
  if (leads_somewhere(is_error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE)) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
  }
  const std::string shown = text.ends_with('\n') ? text.substr(0, text.size() - 1) : text;
  const UINT icon = is_error ? MB_ICONERROR : MB_ICONINFORMATION;
  ::MessageBoxA(nullptr, shown.c_str(), "Orvandelcaster", MB_OK | icon);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const CommandLine line = parse_command_line(__argc, __argv);
  if (line.action != CommandLineAction::RUN) {
    const CommandLineAnswer answer = command_line_answer(line);
    tell(answer.text, answer.is_error);
    return answer.status;
  }
  // Before anything reads a setting or says a line: both follow the instance.
  std::string settings_refusal;
  if (configure_instance(line.settings_given ? line.settings_file.c_str() : nullptr,
                         &settings_refusal) < 0) {
    tell(settings_refusal + "\n", true);
    return 1;
  }
  if (!start_sockets()) {
    char text[128] = {};
    ::LoadStringA(instance, IDP_SOCKETS_INIT_FAILED, text, sizeof text);
    tell(std::string(instance_name()) + ": " + text + "\n", true);
    return 1;
  }
  // One server per name and user (a named mutex the system releases when its
  // holder dies), refused before any window appears.
  std::string refusal;
  if (claim_server_instance(&refusal) < 0) {
    tell(refusal + "\n", true);
    return 1;
  }
  set_server_exit_handler(end_through_dialog);
  CMonitorDlg dialog;
  INT_PTR status = dialog.DoModal();
  // A dialog that could not be created is a failure of the program.
  return status < 0 ? 1 : static_cast<int>(status);
}
