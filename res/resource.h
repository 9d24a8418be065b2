#pragma once

// Identifiers of the program's resources: dialog templates, strings, the icon,
// the system-menu command, the display timer and the dialog controls. Capture
// clients never see them; the numbers are kept so that every part of the
// program names a thing by the same number.

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_MONITOR_DIALOG = 102;

// String table.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;

// The application icon (32x32 and 16x16): window icons and the About box picture.
inline constexpr int IDR_MAINFRAME = 128;

// System command that opens the About box. System commands carry their own
// information in the low four bits, so 0x10 to 0x1F all mean this one.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

// The monitor dialog's display timer.
inline constexpr unsigned IDT_JOYSTICK_POLL = 1001;

// Commands every dialog knows.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Controls. IDC_STATIC marks controls that are never addressed.
inline constexpr int IDC_STATIC = -1;
inline constexpr int IDC_BAR_X = 1004;
inline constexpr int IDC_WEB_LINK = 1006;
inline constexpr int IDC_ABOUT = 1007;
inline constexpr int IDC_BAR_Y = 1008;
inline constexpr int IDC_BAR_RUDDER = 1009;
inline constexpr int IDC_BAR_THRUST = 1010;
inline constexpr int IDC_BUTTON_BOX_1 = 1011;
inline constexpr int IDC_BUTTON_BOX_2 = 1012;
inline constexpr int IDC_BUTTON_BOX_3 = 1013;
inline constexpr int IDC_BUTTON_BOX_4 = 1014;
inline constexpr int IDC_BUTTON_BOX_5 = 1015;
inline constexpr int IDC_BUTTON_BOX_6 = 1016;
inline constexpr int IDC_BUTTON_BOX_7 = 1017;
inline constexpr int IDC_BUTTON_BOX_8 = 1018;
// The frame around the indicators, whose caption says what joystick 0 is,
// and the line below it that tells more about that.
inline constexpr int IDC_JOYSTICK_GROUP = 1019;
inline constexpr int IDC_JOYSTICK_STATE = 1020;
