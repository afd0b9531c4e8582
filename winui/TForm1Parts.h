#pragma once

#include "window/Layout.h"

#include <windows.h>

// What the sources of TForm1 share: the timer that hides m2Note and the
// table's colours in GDI's terms.
namespace pressmark::winui::formparts {

constexpr UINT_PTR kNoteTimer = 1; // hides m2Note; the table's timers have ids from kFirstId

inline COLORREF rgb(layout::Rgb c) {
    return RGB(c.r, c.g, c.b);
}

inline layout::Rgb textColour(const layout::Control& c) {
    return layout::textColourOf(c);
}

// The background a control shows; a gradient gives its first colour: the
// one behind text drawn opaque.
inline COLORREF backColour(const layout::Control& c) {
    const layout::Control& at = layout::filledBy(c);
    if (at.fill == layout::Fill::SystemBevel) {
        return GetSysColor(COLOR_BTNFACE);
    }
    return rgb(at.back);
}

} // namespace pressmark::winui::formparts
