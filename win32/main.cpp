// The Windows program: a dialog application. It readies the sockets, runs the
// monitor dialog (which starts the capture server) until the user closes it,
// and ends with status 0; the server thread ends it with status 1 when it
// cannot listen or accept, through the dialog, so that only the main thread
// ever runs the exit.

#include <windows.h>

#include <cstdlib>

#include "res/resource.h"
#include "server/process.h"
#include "win32/monitor_dialog.h"

namespace {

void end_through_dialog(int status) {
  if (!CMonitorDlg::end_with_status(status)) std::exit(status);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  start_sockets();
  if (!g_sockets_ready.load()) {
    char text[128] = {};
    ::LoadStringA(instance, IDP_SOCKETS_INIT_FAILED, text, sizeof text);
    ::MessageBoxA(nullptr, text, "Orvandelcaster", MB_OK);
    return 0;
  }
  set_server_exit_handler(end_through_dialog);
  CMonitorDlg dialog;
  INT_PTR status = dialog.DoModal();
  // A dialog that could not be created is a failure of the program.
  return status < 0 ? 1 : static_cast<int>(status);
}
