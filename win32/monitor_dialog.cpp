#include "win32/monitor_dialog.h"

#include <mmsystem.h>

#include <atomic>
#include <string>

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
    : m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

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
      if (MonitorModel::is_about_command(static_cast<unsigned>(wParam))) {
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
  // Two instances side by side are told apart by their names.
  ::SetWindowTextA(m_hWnd, instance_name());

  // Fixes the axis scale from joystick 0's capabilities, then starts the
  // server thread; without a thread the dialog runs without a server.
  start_capture_server(&m_joyCaps);
  g_running_dialog.store(m_hWnd);

  ::SetTimer(m_hWnd, IDT_JOYSTICK_POLL, MonitorModel::poll_period_ms(m_joyCaps), nullptr);
  return TRUE;
}

void CMonitorDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent != IDT_JOYSTICK_POLL) return;
  const MonitorView view = m_model.tick();
  for (const AxisBarValue& bar : view.bars) {
    draw_axis_bar(m_hWnd, bar.control_id, bar.raw, bar.range);
  }
  for (const ButtonBoxValue& box : view.buttons)
    draw_button_box(m_hWnd, box.control_id, box.pressed);
  show_joystick_state(view.state);
}

void CMonitorDlg::show_joystick_state(const JoystickStateText& state) {
  if (state == m_shownState) return;
  m_shownState = state;
  // A group box takes '&' as the mark of a keyboard shortcut; the line below
  // is a no-prefix static.
  std::string caption;
  for (char c : state.title) caption += c == '&' ? std::string("&&") : std::string(1, c);
  ::SetDlgItemTextA(m_hWnd, IDC_JOYSTICK_GROUP, caption.c_str());
  ::SetDlgItemTextA(m_hWnd, IDC_JOYSTICK_STATE, state.detail.c_str());
}

void CMonitorDlg::OnSysCommand(UINT) { OnAboutButton(); }

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
