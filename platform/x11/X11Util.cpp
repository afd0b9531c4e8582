#include "X11Util.h"

#include <X11/XKBlib.h>
#include <X11/extensions/Xrandr.h>

#include <deque>
#include <utility>

namespace pressmark::platform::x11 {

Rect primaryMonitor(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy, root, True, &count);
    Rect r;
    if (monitors && count > 0) {
        int pick = 0;
        for (int i = 0; i < count; ++i) {
            if (monitors[i].primary) {
                pick = i;
                break;
            }
        }
        r = Rect{monitors[pick].x, monitors[pick].y, monitors[pick].width, monitors[pick].height};
    } else {
        const int screen = DefaultScreen(dpy);
        r = Rect{0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)};
    }
    if (monitors) {
        XRRFreeMonitors(monitors);
    }
    return r;
}

namespace {

// The parent of w; 0 when w is gone or is the root.
Window parentOf(Display* dpy, Window w) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        return 0;
    }
    if (children) {
        XFree(children);
    }
    return parent;
}

} // namespace

Window rootLevelOf(Display* dpy, Window w) {
    const Window root = DefaultRootWindow(dpy);
    if (w == 0 || w == root) {
        return 0;
    }
    for (;;) {
        const Window parent = parentOf(dpy, w);
        if (parent == 0) {
            return 0;
        }
        if (parent == root) {
            return w;
        }
        w = parent;
    }
}

Window rootLevelAt(Display* dpy, Point p) {
    const Window root = DefaultRootWindow(dpy);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(dpy, root, root, p.x, p.y, &x, &y, &child);
    return child;
}

Window clientWindowOf(Display* dpy, Window rootLevel) {
    if (rootLevel == 0) {
        return 0;
    }
    const Atom wmState = XInternAtom(dpy, "WM_STATE", False);
    // Breadth first and only a few levels down: frames hold their client near
    // the top, and without a window manager there is no WM_STATE anywhere, so
    // a deep search would only cost round trips for every press.
    constexpr int maxDepth = 4;
    std::deque<std::pair<Window, int>> queue{{rootLevel, 0}};
    while (!queue.empty()) {
        const auto [w, depth] = queue.front();
        queue.pop_front();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const int got = XGetWindowProperty(dpy, w, wmState, 0, 0, False, AnyPropertyType, &type,
                                           &format, &count, &after, &data);
        if (data) {
            XFree(data);
        }
        if (got == Success && type != None) {
            return w;
        }
        if (depth == maxDepth) {
            continue;
        }
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        if (XQueryTree(dpy, w, &root, &parent, &children, &n) && children) {
            for (unsigned i = 0; i < n; ++i) {
                queue.emplace_back(children[i], depth + 1);
            }
            XFree(children);
        }
    }
    return rootLevel;
}

bool isWithin(Display* dpy, Window w, Window ancestor) {
    const Window root = DefaultRootWindow(dpy);
    while (w != 0 && w != root) {
        if (w == ancestor) {
            return true;
        }
        w = parentOf(dpy, w);
    }
    return false;
}

KeySym keysymAt(XkbDescPtr xkb, KeyCode code, int group, unsigned mods) {
    const int groups = XkbKeyNumGroups(xkb, code);
    if (groups == 0) {
        return NoSymbol;
    }
    if (group >= groups) {
        const unsigned info = XkbKeyGroupInfo(xkb, code);
        switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange:
            group = groups - 1;
            break;
        case XkbRedirectIntoRange:
            group = XkbOutOfRangeGroupNumber(info);
            if (group >= groups) {
                group = 0;
            }
            break;
        default:
            group %= groups;
        }
    }
    XkbKeyTypePtr type = XkbKeyKeyType(xkb, code, group);
    const unsigned relevant = mods & type->mods.mask;
    int level = 0;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& e = type->map[i];
        if (e.active && e.mods.mask == relevant) {
            level = e.level;
            break;
        }
    }
    if (level >= XkbKeyGroupWidth(xkb, code, group)) {
        return NoSymbol;
    }
    return XkbKeySymEntry(xkb, code, level, group);
}

} // namespace pressmark::platform::x11
