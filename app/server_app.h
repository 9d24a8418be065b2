#pragma once

// The application: a dialog application whose whole user interface is the
// monitor dialog, run modally from InitInstance. It has no message loop of its
// own; the application ends when the dialog does.
class CServerApp {
 public:
  CServerApp() = default;
  ~CServerApp();
  CServerApp(const CServerApp&) = delete;
  CServerApp& operator=(const CServerApp&) = delete;

  // Readies socket support and runs the monitor dialog modally until it ends;
  // when socket support is not ready, shows string IDP_SOCKETS_INIT_FAILED
  // instead and runs no dialog (so no server thread and no timer). False on
  // every path: the application then ends.
  bool InitInstance();
};

// The one application object, built before main and destroyed by the last
// exit action but one: socket clean-up (stop_sockets) runs before it.
extern CServerApp g_server_app;

// The whole life of the process after static construction but for the stop
// signals, which main watches first: builds the Qt application from the
// arguments main gives it (the program name only), runs app.InitInstance and
// tears the Qt application down. A stop signal closes the refusal box or the
// dialog as Esc does. Returns the exit status: 0 after a normal close, 1 after
// a refusal, or the status with which the server thread asked to end the
// process (1).
int run_application(CServerApp& app, int argc, char** argv);
