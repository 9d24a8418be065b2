#pragma once

class CMonitorDlg;

// What the application asks of the desktop framework, behind one seam. The
// Linux one uses Qt; tests put a recording shell in its place, which can also
// make socket support fail (it never does on Linux).
class AppShell {
 public:
  virtual ~AppShell() = default;
  // Readies the framework's socket support: true when it is ready. Always
  // true on Linux, where sockets need no start-up; it stays because the
  // application's start is written against it (the message and no window when
  // it fails), so that a build for a platform whose socket library must be
  // started fills in only this, and tests can still take that path.
  virtual bool init_socket_support() = 0;
  // Shows text in a message box with an OK button only and waits for the user.
  virtual void message_box(const char* text) = 0;
  // Runs the monitor dialog modally until it ends; returns how it ended.
  virtual int run_modal(CMonitorDlg& dialog) = 0;
  // The application object is being destroyed: the framework's last exit
  // action before the process ends. Nothing is left to release on Linux.
  virtual void application_destroyed() = 0;
};

// The Linux shell unless a test has put another in its place.
AppShell& app_shell();
// Tests only: nullptr puts the Linux shell back.
void set_app_shell(AppShell* replacement);
