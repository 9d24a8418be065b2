#include <windows.h>

#include "tools/stop_request.h"

namespace probe {
namespace {

// Set by the console's Ctrl-C and Ctrl-Break while a StopRequest lives.
HANDLE g_stop_event = nullptr;

BOOL WINAPI on_console_control(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
  ::SetEvent(g_stop_event);
  return TRUE;
}

}  // namespace

StopRequest::StopRequest() {
  g_stop_event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(on_console_control, TRUE);
}

StopRequest::~StopRequest() {
  ::SetConsoleCtrlHandler(on_console_control, FALSE);
  ::CloseHandle(g_stop_event);
  g_stop_event = nullptr;
}

bool StopRequest::wait_until(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  DWORD wait_ms = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
  return ::WaitForSingleObject(g_stop_event, wait_ms) == WAIT_OBJECT_0;
}

bool StopRequest::pending() { return ::WaitForSingleObject(g_stop_event, 0) == WAIT_OBJECT_0; }

}  // namespace probe
