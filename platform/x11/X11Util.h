#pragma once

#include "platform/Backend.h"

#include <cstdint>

// Xlib last: its macros (None, Bool, Status, KeyPress) clash with Qt names.
#include <X11/Xlib.h>

namespace pressmark::platform::x11 {

// The primary monitor in root coordinates: the RandR monitor marked primary,
// else the first one (Xvfb marks none), else the whole root window.
Rect primaryMonitor(Display* dpy);

// The pixel offset of a normalized coordinate over an extent of W pixels:
// round(n * W / 65535), the exact inverse of the recording rule. 65535 is odd,
// so n * W / 65535 never ends in an exact half and adding 32767 before a
// floor division rounds to nearest; floor (not truncation) keeps negative
// positions, left of or above the primary monitor, symmetric.
std::int64_t normalizedToPixel(std::int64_t n, std::int64_t extent);

} // namespace pressmark::platform::x11
