#pragma once

// Identifiers of the program's resources: dialog templates, strings, the icon,
// the system-menu command, the display timer and the dialog controls. Capture
// clients never see them; the numbers are kept so that every part of the
// program names a thing by the same number.
//
// Plain macros, because the Windows resource compiler reads this header too
// (it understands #define and #include, not C++), and so the resource script
// and the code can never disagree on a number.

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MONITOR_DIALOG 102

// String table.
#define IDS_ABOUTBOX 101
#define IDS_CALIBRATE 104
#define IDP_SOCKETS_INIT_FAILED 103

// The application icon: window icons and the About box picture.
#define IDR_MAINFRAME 128

// System command that opens the About box. System commands carry their own
// information in the low four bits, so 0x10 to 0x1F all mean this one.
#define IDM_ABOUTBOX 0x0010
// System command that opens the calibration dialog (0x30 to 0x3F).
#define IDM_CALIBRATE 0x0030

// The monitor dialog's display timer.
#define IDT_JOYSTICK_POLL 1001

// Commands every dialog knows (the Windows headers define the same numbers).
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

// Controls. IDC_STATIC marks controls that are never addressed.
#define IDC_STATIC (-1)
#define IDC_BAR_X 1004
#define IDC_WEB_LINK 1006
#define IDC_ABOUT 1007
#define IDC_BAR_Y 1008
#define IDC_BAR_RUDDER 1009
#define IDC_BAR_THRUST 1010
#define IDC_BUTTON_BOX_1 1011
#define IDC_BUTTON_BOX_2 1012
#define IDC_BUTTON_BOX_3 1013
#define IDC_BUTTON_BOX_4 1014
#define IDC_BUTTON_BOX_5 1015
#define IDC_BUTTON_BOX_6 1016
#define IDC_BUTTON_BOX_7 1017
#define IDC_BUTTON_BOX_8 1018
// The frame around the indicators, whose caption says what joystick 0 is,
// and the line below it that tells more about that.
#define IDC_JOYSTICK_GROUP 1019
#define IDC_JOYSTICK_STATE 1020
