#include "res/dialog_template.h"
#include "res/resource.h"
#include "res/version_number.h"

namespace {

constexpr ControlClass STATIC = ControlClass::STATIC;
constexpr ControlClass BUTTON = ControlClass::BUTTON;
// An axis or button label: on the row of what it names.
constexpr unsigned LABEL = STYLE_LEFT_TEXT | STYLE_CENTER_VERTICAL | STYLE_GROUP;

// The joystick monitor. It has no OK and no Cancel button. The uneven gaps
// between the button boxes are as designed. Each label takes the row of its
// indicator and is centred on it; labels reach to the bars, so a wider font
// never cuts them; the button boxes' label is taller than they are, for the
// same reason. "About..." is as wide as the About box's OK, the width a
// desktop style gives a button with a word on it. The frame's caption names
// joystick 0 and the line below it tells what to do when there is none.
// clang-format off
constexpr ControlTemplate MONITOR_CONTROLS[] = {
    // id                 class   text        x    y    w    h    style
    {IDC_STATIC,          STATIC, "X",        18,  18,  30,  15,  LABEL},
    {IDC_STATIC,          STATIC, "Y",        18,  35,  30,  15,  LABEL},
    {IDC_STATIC,          STATIC, "Rudder",   18,  52,  30,  15,  LABEL},
    {IDC_STATIC,          STATIC, "Thrust",   18,  68,  30,  15,  LABEL},
    {IDC_BAR_X,           STATIC, nullptr,    52,  18,  103, 15,  STYLE_SUNKEN},
    {IDC_BAR_Y,           STATIC, nullptr,    52,  35,  103, 15,  STYLE_SUNKEN},
    {IDC_BAR_RUDDER,      STATIC, nullptr,    52,  52,  103, 15,  STYLE_SUNKEN},
    {IDC_BAR_THRUST,      STATIC, nullptr,    52,  68,  103, 15,  STYLE_SUNKEN},
    {IDC_BUTTON_BOX_1,    STATIC, nullptr,    52,  95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_2,    STATIC, nullptr,    64,  95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_3,    STATIC, nullptr,    78,  95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_4,    STATIC, nullptr,    90,  95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_5,    STATIC, nullptr,    104, 95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_6,    STATIC, nullptr,    118, 95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_7,    STATIC, nullptr,    132, 95,  9,   8,   STYLE_SUNKEN},
    {IDC_BUTTON_BOX_8,    STATIC, nullptr,    146, 95,  9,   8,   STYLE_SUNKEN},
    {IDC_JOYSTICK_GROUP,  BUTTON, nullptr,    7,   7,   225, 102, STYLE_GROUP_BOX},
    {IDC_STATIC,          STATIC, "Buttons",  18,  93,  30,  12,  LABEL},
    {IDC_JOYSTICK_STATE,  STATIC, nullptr,    7,   113, 171, 16,
     STYLE_LEFT_TEXT | STYLE_NO_PREFIX | STYLE_CENTER_VERTICAL | STYLE_WORD_WRAP},
    {IDC_ABOUT,           BUTTON, "About...", 182, 114, 50,  14,  STYLE_PUSH_BUTTON | STYLE_TAB_STOP},
};
// clang-format on

constexpr DialogTemplate MONITOR_DIALOG = {
    IDD_MONITOR_DIALOG,
    "Orvandelcaster",
    239,
    138,
    DIALOG_CAPTION | DIALOG_SYSTEM_MENU | DIALOG_MINIMIZE_BOX | DIALOG_MODAL_FRAME |
        DIALOG_APP_WINDOW,
    MONITOR_CONTROLS,
};

// Every line of text starts at x 40, beside the icon; the web address is a
// flat button whose text starts there too. The lines reach to the OK button
// (the legal notice, below it, to the dialog's margin).
// clang-format off
constexpr ControlTemplate ABOUT_CONTROLS[] = {
    // id            class   text                              x    y   w    h   style
    {IDC_STATIC,    STATIC, nullptr,                          11,  17, 21,  20, STYLE_ICON,
     IDR_MAINFRAME},
    {IDC_STATIC,    STATIC, "Orvandelcaster Version " ORVANDEL_VERSION_SHOWN, 40,  10, 132, 8,
     STYLE_LEFT_TEXT | STYLE_NO_PREFIX | STYLE_GROUP},
    {IDC_STATIC,    STATIC, "Copyright (C) Orvandelcaster team", 40, 56, 185, 8,
     STYLE_LEFT_TEXT | STYLE_GROUP},
    {IDOK,          BUTTON, "OK",                             178, 7,  50,  14,
     STYLE_DEFAULT_BUTTON | STYLE_GROUP | STYLE_TAB_STOP},
    {IDC_STATIC,    STATIC, "Orvandelcaster team",            40,  23, 132, 8,
     STYLE_LEFT_TEXT | STYLE_GROUP},
    {IDC_WEB_LINK,  BUTTON, "www.orvandelcaster.example",     40,  35, 132, 14,
     STYLE_PUSH_BUTTON | STYLE_FLAT | STYLE_LEFT_TEXT | STYLE_TAB_STOP},
};
// clang-format on

constexpr DialogTemplate ABOUT_DIALOG = {
    IDD_ABOUTBOX,
    "About Orvandelcaster",
    235,
    71,
    DIALOG_CAPTION | DIALOG_SYSTEM_MENU | DIALOG_MODAL_FRAME,
    ABOUT_CONTROLS,
};

}  // namespace

const DialogTemplate* load_dialog_template(int id) {
  if (id == IDD_MONITOR_DIALOG) return &MONITOR_DIALOG;
  if (id == IDD_ABOUTBOX) return &ABOUT_DIALOG;
  return nullptr;
}
