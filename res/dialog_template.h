#pragma once

#include <span>

// Dialog templates (res/dialogs.def): each dialog's caption, size and controls, with positions
// and sizes in dialog units (a quarter of the dialog font's average character
// width across, an eighth of its height down). The dialog font is the
// application's, so the layout grows with the font the user's desktop sets.

enum class ControlClass { STATIC, BUTTON };

// Control styles.
inline constexpr unsigned STYLE_LEFT_TEXT = 1u << 0;         // static or button: text aligned left
inline constexpr unsigned STYLE_NO_PREFIX = 1u << 1;         // static: '&' is shown, not a mnemonic
inline constexpr unsigned STYLE_SUNKEN = 1u << 2;            // static: empty box with a sunken edge
inline constexpr unsigned STYLE_ICON = 1u << 3;              // static: shows the icon `icon`
inline constexpr unsigned STYLE_PUSH_BUTTON = 1u << 4;       // button: never the default button
inline constexpr unsigned STYLE_DEFAULT_BUTTON = 1u << 5;    // button: Enter clicks it
inline constexpr unsigned STYLE_FLAT = 1u << 6;              // button: drawn flat
inline constexpr unsigned STYLE_GROUP_BOX = 1u << 7;         // button: a frame around others
inline constexpr unsigned STYLE_GROUP = 1u << 8;             // starts a group of controls
inline constexpr unsigned STYLE_TAB_STOP = 1u << 9;          // takes the focus with Tab
inline constexpr unsigned STYLE_CENTER_VERTICAL = 1u << 10;  // static: text centred top to bottom
inline constexpr unsigned STYLE_WORD_WRAP = 1u << 11;        // static: long text on several lines

// Dialog styles.
inline constexpr unsigned DIALOG_CAPTION = 1u << 0;      // title bar with the caption
inline constexpr unsigned DIALOG_SYSTEM_MENU = 1u << 1;  // close box
inline constexpr unsigned DIALOG_MINIMIZE_BOX = 1u << 2;
inline constexpr unsigned DIALOG_MODAL_FRAME = 1u << 3;  // fixed size
inline constexpr unsigned DIALOG_APP_WINDOW = 1u << 4;   // shown on the taskbar
inline constexpr unsigned DIALOG_VISIBLE = 1u << 5;      // shown as soon as it is created

struct ControlTemplate {
  int id;
  ControlClass control_class;
  const char* text;  // empty for none
  int x, y, width, height;
  unsigned style;
  int icon = 0;  // the icon resource of a STYLE_ICON static
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width, height;
  unsigned style;
  std::span<const ControlTemplate> controls;  // in template (and tab) order, topmost first
};

// The template of dialog id (IDD_MONITOR_DIALOG, IDD_ABOUTBOX), or null.
const DialogTemplate* load_dialog_template(int id);
