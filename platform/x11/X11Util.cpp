#include "X11Util.h"

#include <X11/extensions/Xrandr.h>

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

std::int64_t normalizedToPixel(std::int64_t n, std::int64_t extent) {
    const std::int64_t num = n * extent + 32767;
    std::int64_t q = num / 65535;
    if (num % 65535 != 0 && num < 0) {
        --q;
    }
    return q;
}

} // namespace pressmark::platform::x11
