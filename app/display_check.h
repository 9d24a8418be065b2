#pragma once

#include <memory>
#include <string>

struct xcb_connection_t;

// Whether the window can open where the environment points Qt, settled
// before the Qt application is built: Qt ends the process with an abort when
// no platform it tries can start, which would leave the private runtime
// directory behind and tell the user only to reinstall.
//
// The platforms tried are the user's QT_QPA_PLATFORM list, or else Wayland
// (WAYLAND_DISPLAY set) before X (DISPLAY set). Wayland needs Qt's Wayland
// plugin and a socket that answers; X needs a server that accepts this
// program's connection. The first that can start is given to Qt as
// QT_QPA_PLATFORM; a platform that needs no display (offscreen, say) is taken
// as it is. When none can start, failure holds the one line to print,
// "Orvandelcaster: cannot open the display NAME: REASON", naming each display
// tried and what to unset to serve headless.
struct DisplayChoice {
  std::string failure;  // empty when Qt may go on
  // The X connection of the check, kept until Qt has its own: an X server
  // whose last client leaves resets itself, and would refuse Qt meanwhile.
  struct XDisconnect {
    void operator()(xcb_connection_t* connection) const;
  };
  std::unique_ptr<xcb_connection_t, XDisconnect> x_connection;
};
DisplayChoice choose_display_platform();
