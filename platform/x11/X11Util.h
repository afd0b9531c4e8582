#pragma once

#include "platform/Backend.h"

#include <cstdint>

// Xlib last: its macros (None, Bool, Status, KeyPress) clash with Qt names.
#include <X11/Xlib.h>
#include <X11/XKBlib.h>

namespace pressmark::platform::x11 {

// The primary monitor in root coordinates: the RandR monitor marked primary,
// else the first one (Xvfb marks none), else the whole root window.
Rect primaryMonitor(Display* dpy);

// The child of the root that holds w (w itself when it is one): under a
// window manager the frame around a client, without one the client itself.
// 0 when w is gone.
Window rootLevelOf(Display* dpy, Window w);

// The mapped root-level window at a root position; 0 over the bare root.
Window rootLevelAt(Display* dpy, Point p);

// The client inside a root-level window: the window a window manager marked
// with WM_STATE (it may sit a few levels down in the frame), else the
// root-level window itself, as it is without a window manager.
Window clientWindowOf(Display* dpy, Window rootLevel);

// Whether w is ancestor or one of its descendants.
bool isWithin(Display* dpy, Window w, Window ancestor);

// The keysym a key gives in a group with a modifier state, by the XKB rules:
// out-of-range groups are wrapped, clamped or redirected as the key says, and
// the key type maps the modifiers it cares about to a level.
KeySym keysymAt(XkbDescPtr xkb, KeyCode code, int group, unsigned mods);

} // namespace pressmark::platform::x11
