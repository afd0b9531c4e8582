#pragma once

#include "window/Layout.h"

#include <windows.h>

#include <string_view>

// What the Win32 window draws itself, in GDI alone: the table's gradients,
// the seven-segment number, the buttons with their pictures, the coloured
// tabs and the group bar's groups, each drawn as the Qt window draws it.
// Every function draws into a DC the caller owns, within the given
// rectangle, and leaves the DC's objects and modes as it found them.
namespace pressmark::winui::paint {

COLORREF rgb(layout::Rgb c);
// The colour `t` steps of `total` on the way from `a` to `b`.
COLORREF mix(COLORREF a, COLORREF b, int t, int total);

struct Fill {
    enum class Shape { Solid, Vertical, Horizontal, Box };
    Shape shape = Shape::Solid;
    COLORREF from = 0; // Vertical: the top, Horizontal: the left, Box: the edges
    COLORREF to = 0;
};

// The fill a control of the table asks for; Inherit reads as its `back`.
Fill fillOf(const layout::Control& c);
// The body of the group bar's groups: the theme's white, at its opacity,
// over the bar's own fill.
Fill groupBody(const Fill& bar);
// Fills `area`, the whole extent of the fill; only what lies in the DC's
// clip box is drawn.
void fill(HDC dc, const RECT& area, const Fill& f);
// A brush whose pattern is the fill over a `size` rectangle from (0, 0); a
// control painted with it, its brush origin at its offset in that
// rectangle, shows the fill as if transparent. The caller deletes both.
HBRUSH patternBrush(const Fill& f, SIZE size, HBITMAP& bitmap);

// The number right-aligned in `digits` cells of seven segments, centred in
// `area` over `back`. A number too long for the cells shows its last digits.
void sevenSegment(HDC dc, const RECT& area, int value, int digits, COLORREF on, COLORREF back);

struct ButtonLook {
    bool enabled = true;
    bool hover = false;
    bool pressed = false;
    bool focus = false;
};
// A push button: its face, its picture left of the caption and its focus
// rectangle. `back` fills the corners the rounded border leaves.
void button(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF text,
            layout::Picture picture, const ButtonLook& look, HBRUSH back);

// One tab of the page control in its page's colour; the chosen one bold.
void tab(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF colour,
         bool chosen);

// A group of the group bar: the title's gradient bar over a pale framed
// body. `bar` fills what the group leaves of the bar, `body` the body.
void group(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, HBRUSH bar,
           HBRUSH body);
// A framed group box with its caption in the frame; `back` shows through.
void groupBox(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF text,
              COLORREF frame, HBRUSH back);

} // namespace pressmark::winui::paint
