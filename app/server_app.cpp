#include "app/server_app.h"

#include <QApplication>
#include <cstdio>
#include <mutex>
#include <string>
#include <type_traits>

#include "app/app_shell.h"
#include "app/service_journal.h"
#include "app/stop_signals.h"
#include "platform/outside_text.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/version_info.h"
#include "server/capture_server.h"
#include "ui/monitor_dialog.h"

// The process-wide objects, built before main in this order. The runtime runs
// their exit actions in reverse: stop_sockets first, then the application
// object's destructor.
CServerApp g_server_app;
namespace {
[[maybe_unused]] const bool g_sockets_started = (start_sockets(), true);
}  // namespace

namespace {

// The server thread's request to end the process reaches the main thread
// through here. Plain and trivially destructible: the server thread may come
// here while the process is exiting.
std::mutex g_end_mutex;
QCoreApplication* g_end_target = nullptr;  // the running Qt application, or null
int g_end_status = 0;
static_assert(std::is_trivially_destructible_v<std::mutex>);

// Ends every modal run on the main thread, the monitor dialog's and an About
// box's above it, so the application closes the ordinary way.
void end_modal_runs() { QCoreApplication::exit(0); }

// Asks the main thread to end its modal runs, once a Qt application takes
// requests. g_end_mutex held.
void post_end_request() {
  if (g_end_target) {
    QMetaObject::invokeMethod(g_end_target, &end_modal_runs, Qt::QueuedConnection);
  }
}

// Installed as the server's exit handler: runs on the server thread.
void end_from_server_thread(int status) {
  std::lock_guard<std::mutex> lock(g_end_mutex);
  g_end_status = status;
  post_end_request();
}

// A stop signal's request, on the stop signals' thread: the modal run ends
// as Esc ends it, with the status the run was given.
void end_from_stop_signal() {
  std::lock_guard<std::mutex> lock(g_end_mutex);
  post_end_request();
}

void accept_end_requests(QCoreApplication* application) {
  std::lock_guard<std::mutex> lock(g_end_mutex);
  g_end_target = application;
}

// Stops passing requests on, before the Qt application goes; returns the
// status asked for so far (0 when none).
int stop_end_requests() {
  std::lock_guard<std::mutex> lock(g_end_mutex);
  g_end_target = nullptr;
  return g_end_status;
}

}  // namespace

CServerApp::~CServerApp() { app_shell().application_destroyed(); }

bool CServerApp::InitInstance() {
  if (!app_shell().init_socket_support()) {
    app_shell().message_box(load_string(IDP_SOCKETS_INIT_FAILED));
    return false;
  }
  CMonitorDlg dialog;
  app_shell().run_modal(dialog);
  return false;
}

namespace {

// A person started the program where no one reads standard error (from a
// menu, say) only when a display shows its windows; on the offscreen platform
// nobody could answer a box.
bool on_real_display() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

int run_application(CServerApp& app, int argc, char** argv) {
  int status = 0;
  {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(internal_name()));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(file_version()));
    accept_end_requests(&application);
    // One server per name and user, refused before any window appears.
    std::string refusal;
    if (claim_server_instance(&refusal) < 0) {
      // A stop closes the box; the status stays the refusal's.
      stop_through(&end_from_stop_signal, 1);
      // It may name the registry as the environment gave it: one line still.
      const std::string line = platform::printable_outside_text(refusal, std::string_view::npos);
      std::fprintf(stderr, "%s\n", line.c_str());
      if (on_real_display()) app_shell().message_box(line.c_str());
      stop_end_requests();
      return 1;
    }
    set_server_exit_handler(&end_from_server_thread);
    ServiceJournal journal;
    stop_through(&end_from_stop_signal, 0);
    app.InitInstance();
    status = stop_end_requests();
    if (status == 0) journal.stopped();
    // Ending already: a stop only bounds how long the rest may take.
    stop_through(nullptr, status);
  }
  return status;
}
