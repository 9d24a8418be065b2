#include "win32/indicators.h"

#include <cstdio>

#include "monitor/axis_bar.h"

namespace {

// Fills rect with colour as the framework's solid fill does: an opaque empty
// text output, which also leaves colour as the context's background colour.
void fill_solid_rect(HDC dc, const RECT& rect, COLORREF colour) {
  ::SetBkColor(dc, colour);
  ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// Calls draw(dc, client) on control id of dialog after the control has wiped
// its previous drawing by repainting itself at once.
template <typename Draw>
void draw_on_control(HWND dialog, int id, Draw draw) {
  HWND control = ::GetDlgItem(dialog, id);
  if (!control) return;
  HDC dc = ::GetDC(control);
  if (!dc) return;
  ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT client{};
  ::GetClientRect(control, &client);
  draw(dc, client);
  ::ReleaseDC(control, dc);
}

}  // namespace

void draw_axis_bar(HWND dialog, int id, std::int32_t raw, float axis_range) {
  draw_on_control(dialog, id, [raw, axis_range](HDC dc, const RECT& client) {
    RECT bar{0, 0, axis_bar_width(raw, axis_range, client.right), client.bottom};
    if (bar.right > 0) {
      fill_solid_rect(dc, bar, INDICATOR_BLUE);
    } else {
      // No bar, but the text cell is blue all the same.
      ::SetBkColor(dc, INDICATOR_BLUE);
    }
    // The background mode stays opaque: the digits sit on a blue cell, also
    // where the bar is shorter than they are.
    ::SetTextColor(dc, INDICATOR_WHITE);
    char text[16];
    int length = std::snprintf(text, sizeof text, "%d", raw);
    ::TextOutA(dc, 2, 2, text, length);
  });
}

void draw_button_box(HWND dialog, int id, std::uint32_t pressed) {
  draw_on_control(dialog, id, [pressed](HDC dc, const RECT& client) {
    if (pressed) fill_solid_rect(dc, client, INDICATOR_BLUE);
  });
}
