#pragma once

#include <windows.h>

#include "monitor/joystick_state_text.h"
#include "monitor/monitor_model.h"
#include "platform/joystick_device.h"

// The joystick monitor on Windows: the modal dialog from template
// IDD_MONITOR_DIALOG that starts the capture server, shows joystick 0's four
// axes as bars, its first eight buttons as boxes and what it is (the frame's
// caption and the line below it) on a timer, and offers the
// About box from its system menu and its "About..." button. Esc, the close
// box, the system menu's Close and Alt+F4 end it; the OK command does not.
class CMonitorDlg {
 public:
  CMonitorDlg();
  CMonitorDlg(const CMonitorDlg&) = delete;
  CMonitorDlg& operator=(const CMonitorDlg&) = delete;
  ~CMonitorDlg();

  // Runs the dialog until it ends: 0 (IDCANCEL's way out, the usual one) or
  // the status the server gave with end_with_status; -1 when the dialog could
  // not be created.
  INT_PTR DoModal();

  // Ends the running dialog with status from any thread (the server thread's
  // way to end the process); false when no dialog runs.
  static bool end_with_status(int status);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void OnTimer(UINT_PTR nIDEvent);
  void OnSysCommand(UINT nID);
  BOOL OnPaint();
  void OnAboutButton();
  void OnDestroy();
  void show_joystick_state(const JoystickStateText& state);

  HWND m_hWnd = nullptr;
  HICON m_hIcon;
  platform::JoystickCapabilities m_joyCaps{};
  // What a tick shows, with the dialog's own handle on joystick 0.
  MonitorModel m_model;
  // Joystick 0 in words as shown (the template's empty texts at first); set
  // only when it changes, so the frame does not flicker on every tick.
  JoystickStateText m_shownState;
};
