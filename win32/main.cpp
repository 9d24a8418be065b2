// The Windows program: a dialog application. It readies the sockets, runs the
// monitor dialog (which starts the capture server) until the user closes it,
// and ends with status 0; the server thread ends it with status 1 when it
// cannot listen or accept, through the dialog, so that only the main thread
// ever runs the exit.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "server/capture_server.h"
#include "win32/monitor_dialog.h"

namespace {

void end_through_dialog(int status) {
  if (!CMonitorDlg::end_with_status(status)) std::exit(status);
}

// Whether standard error leads anywhere (a console, a file, a pipe): a
// program started from the desktop has none, and its user sees only boxes.
bool has_standard_error() {
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  return error && error != INVALID_HANDLE_VALUE && ::GetFileType(error) != FILE_TYPE_UNKNOWN;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!start_sockets()) {
    char text[128] = {};
    ::LoadStringA(instance, IDP_SOCKETS_INIT_FAILED, text, sizeof text);
    ::MessageBoxA(nullptr, text, "Orvandelcaster", MB_OK);
    return 0;
  }
  // One server per name and user (a named mutex the system releases when its
  // holder dies), refused before any window appears.
  std::string refusal;
  if (claim_server_instance(&refusal) < 0) {
    if (has_standard_error()) {
      std::fprintf(stderr, "%s\n", refusal.c_str());
    } else {
      ::MessageBoxA(nullptr, refusal.c_str(), "Orvandelcaster", MB_OK | MB_ICONERROR);
    }
    return 1;
  }
  set_server_exit_handler(end_through_dialog);
  CMonitorDlg dialog;
  INT_PTR status = dialog.DoModal();
  // A dialog that could not be created is a failure of the program.
  return status < 0 ? 1 : static_cast<int>(status);
}
