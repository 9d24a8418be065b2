#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/joystick_device.h"

// The joystick monitor on Windows: the modal dialog from template
// IDD_MONITOR_DIALOG that starts the capture server, shows joystick 0's four
// axes as bars and its first eight buttons as boxes on a timer, and offers the
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

  HWND m_hWnd = nullptr;
  HICON m_hIcon;
  platform::JoystickCapabilities m_joyCaps{};
  std::unique_ptr<platform::JoystickReader> m_joystick;
  std::uint32_t m_xpos = 0;
  std::uint32_t m_ypos = 0;
  std::uint32_t m_rpos = 0;
  std::uint32_t m_zpos = 0;
};
