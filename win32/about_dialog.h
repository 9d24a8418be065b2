#pragma once

#include <windows.h>

// The About box, from template IDD_ABOUTBOX: the icon, the version, the
// maker and the web address (whose button does nothing). OK and Esc end it.
class CAboutDlg {
 public:
  // Runs the box modally over owner and returns when it has closed.
  INT_PTR DoModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};
