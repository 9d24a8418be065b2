#include "win32/about_dialog.h"

#include "res/resource.h"

INT_PTR CAboutDlg::DoModal(HWND owner) {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner,
                           DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          ::EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case IDC_WEB_LINK:
          // The web address is shown, not followed.
          return TRUE;
      }
      break;
  }
  return FALSE;
}
