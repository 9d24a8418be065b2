#include "win32/monitor_dialog.h"

#include <mmsystem.h>

#include <atomic>

#include "joystick/joystick_channels.h"
#include "res/resource.h"
#include "server/capture_server.h"
#include "win32/about_dialog.h"
#include "win32/indicators.h"

namespace {

// Sent by end_with_status: wParam is the status the dialog ends with.
constexpr UINT WM_END_WITH_STATUS = WM_APP + 1;

// The running dialog's window, for the server thread's end_with_status.
std::atomic<HWND> g_running_dialog{nullptr};

}  // namespace

CMonitorDlg::CMonitorDlg()
    : m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_joystick(platform::joystick_device().open_reader()) {}

CMonitorDlg::~CMonitorDlg() = default;

INT_PTR CMonitorDlg::DoModal() {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MONITOR_DIALOG),
                           nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CMonitorDlg::end_with_status(int status) {
  HWND dialog = g_running_dialog.load();
  return dialog && ::PostMessageA(dialog, WM_END_WITH_STATUS, static_cast<WPARAM>(status), 0);
}

INT_PTR CALLBACK CMonitorDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CMonitorDlg*>(lParam);
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    self->m_hWnd = dialog;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<CMonitorDlg*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  if (!self) return FALSE;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        self->OnSysCommand(static_cast<UINT>(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      return self->OnPaint();
    case WM_QUERYDRAGICON:
      // A dialog procedure hands a result back through DWLP_MSGRESULT.
      ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(self->m_hIcon));
      return TRUE;
    case WM_TIMER:
      // Then default processing, whatever the timer.
      self->OnTimer(wParam);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_ABOUT:
          if (HIWORD(wParam) == BN_CLICKED) self->OnAboutButton();
          return TRUE;
        case IDOK:
          // Enter does not end the monitor.
          return TRUE;
        case IDCANCEL:
          ::EndDialog(dialog, 0);
          return TRUE;
      }
      return FALSE;
    case WM_END_WITH_STATUS:
      ::EndDialog(dialog, static_cast<INT_PTR>(wParam));
      return TRUE;
    case WM_DESTROY:
      self->OnDestroy();
      return FALSE;
  }
  return FALSE;
}

BOOL CMonitorDlg::OnInitDialog() {
  if (HMENU system_menu = ::GetSystemMenu(m_hWnd, FALSE)) {
    char about_text[128] = {};
    if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, about_text, sizeof about_text) >
        0) {
      ::AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(system_menu, MF_STRING, IDM_ABOUTBOX, about_text);
    }
  }
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  // Fixes the axis scale from joystick 0's capabilities, then starts the
  // server thread; without a thread the dialog runs without a server.
  start_capture_server(&m_joyCaps);
  g_running_dialog.store(m_hWnd);

  ::SetTimer(m_hWnd, IDT_JOYSTICK_POLL, 2 * m_joyCaps.min_period_ms, nullptr);
  return TRUE;
}

void CMonitorDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent != IDT_JOYSTICK_POLL) return;
  platform::JoystickState state{};
  // A failed read leaves a centred reading with no button, which is shown.
  m_joystick->read(&state);
  m_xpos = state.x;
  m_ypos = state.y;
  m_rpos = state.r;
  m_zpos = state.z;
  // The Rudder bar shows the R axis and the Thrust bar the Z axis.
  draw_axis_bar(m_hWnd, IDC_BAR_X, static_cast<std::int32_t>(m_xpos));
  draw_axis_bar(m_hWnd, IDC_BAR_Y, static_cast<std::int32_t>(m_ypos));
  draw_axis_bar(m_hWnd, IDC_BAR_RUDDER, static_cast<std::int32_t>(m_rpos));
  draw_axis_bar(m_hWnd, IDC_BAR_THRUST, static_cast<std::int32_t>(m_zpos));
  // Buttons 1 to 8 only; higher bits are not shown.
  for (int i = 0; i < 8; ++i) {
    draw_button_box(m_hWnd, IDC_BUTTON_BOX_1 + i, state.buttons & (1u << i));
  }
}

void CMonitorDlg::OnSysCommand(UINT) {
  CAboutDlg about;
  about.DoModal(m_hWnd);
}

void CMonitorDlg::OnAboutButton() {
  CAboutDlg about;
  about.DoModal(m_hWnd);
}

BOOL CMonitorDlg::OnPaint() {
  if (!::IsIconic(m_hWnd)) return FALSE;
  // Minimised: the icon, centred.
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  int icon_width = ::GetSystemMetrics(SM_CXICON);
  int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  ::DrawIcon(dc, (client.right - icon_width + 1) / 2, (client.bottom - icon_height + 1) / 2,
             m_hIcon);
  ::EndPaint(m_hWnd, &paint);
  return TRUE;
}

void CMonitorDlg::OnDestroy() {
  g_running_dialog.store(nullptr);
  ::joyReleaseCapture(JOYSTICKID1);
}
