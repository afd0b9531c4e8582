#include <QApplication>
#include <QWidget>

#include "PointerX11.h"

#include "X11Util.h"

#include <X11/Xproto.h>

namespace pressmark::platform::x11 {
namespace {

std::vector<unsigned long> visibleTopLevels() {
    std::vector<unsigned long> ids;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // internalWinId: never create a native window just to compare it.
        if (w->isVisible() && w->internalWinId() != 0) {
            ids.push_back(static_cast<unsigned long>(w->internalWinId()));
        }
    }
    return ids;
}

} // namespace

PointerX11::PointerX11(Display* dpy, WindowList ownWindows)
    : m_dpy(dpy), m_ownWindows(ownWindows ? std::move(ownWindows) : WindowList(visibleTopLevels)) {}

PointerX11::~PointerX11() {
    stopSampling();
}

void PointerX11::startSampling() {
    if (m_data) {
        return;
    }
    m_presses.clear();
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(m_dpy, &major, &minor)) {
        return;
    }
    m_data = XOpenDisplay(DisplayString(m_dpy));
    if (!m_data) {
        return;
    }
    XRecordRange* range = XRecordAllocRange();
    range->device_events.first = ButtonPress;
    range->device_events.last = ButtonPress;
    XRecordClientSpec clients = XRecordAllClients;
    m_context = XRecordCreateContext(m_dpy, 0, &clients, 1, &range, 1);
    XFree(range);
    // The context must exist on the server before the data connection
    // refers to it.
    XSync(m_dpy, False);
    if (!m_context || !XRecordEnableContextAsync(m_data, m_context, &PointerX11::onRecord,
                                                 reinterpret_cast<XPointer>(this))) {
        stopSampling();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(m_data), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
}

void PointerX11::stopSampling() {
    m_notifier.reset();
    if (m_context) {
        XRecordDisableContext(m_dpy, m_context);
        XSync(m_dpy, False);
    }
    if (m_data) {
        XRecordProcessReplies(m_data);
    }
    if (m_context) {
        XRecordFreeContext(m_dpy, m_context);
        XSync(m_dpy, False);
        m_context = 0;
    }
    if (m_data) {
        XCloseDisplay(m_data);
        m_data = nullptr;
    }
}

void PointerX11::drain() {
    if (m_data) {
        XRecordProcessReplies(m_data);
    }
}

void PointerX11::onRecord(XPointer self, XRecordInterceptData* data) {
    auto* p = reinterpret_cast<PointerX11*>(self);
    if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
        const auto* ev = reinterpret_cast<const xEvent*>(data->data);
        const int type = ev->u.u.type & 0x7F;
        const int detail = ev->u.u.detail;
        if (type == ButtonPress && (detail == 1 || detail == 3)) {
            const Point pos{ev->u.keyButtonPointer.rootX, ev->u.keyButtonPointer.rootY};
            // Decided now: the window under the press may be gone by the tick
            // (a prompt that closes on this very click).
            p->m_presses.push_back(Press{detail == 1 ? MouseButton::Left : MouseButton::Right, pos,
                                         p->isOwnWindowAt(pos)});
        }
    }
    XRecordFreeData(data);
}

std::vector<Press> PointerX11::takePresses() {
    drain();
    std::vector<Press> out;
    out.swap(m_presses);
    return out;
}

Point PointerX11::cursorPos() {
    Window root = 0;
    Window child = 0;
    int rx = 0;
    int ry = 0;
    int wx = 0;
    int wy = 0;
    unsigned mask = 0;
    XQueryPointer(m_dpy, DefaultRootWindow(m_dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return Point{rx, ry};
}

Rect PointerX11::primaryScreen() {
    return primaryMonitor(m_dpy);
}

Window PointerX11::topLevelOf(Window w) const {
    const Window root = DefaultRootWindow(m_dpy);
    // Under a window manager our window sits inside a frame: climb to the
    // ancestor whose parent is the root.
    for (;;) {
        Window r = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(m_dpy, w, &r, &parent, &children, &n)) {
            return 0;
        }
        if (children) {
            XFree(children);
        }
        if (parent == root || parent == 0) {
            return w;
        }
        w = parent;
    }
}

bool PointerX11::isOwnWindowAt(Point p) {
    const Window root = DefaultRootWindow(m_dpy);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(m_dpy, root, root, p.x, p.y, &x, &y, &child);
    if (child == 0) {
        return false; // the bare root belongs to nobody
    }
    for (unsigned long id : m_ownWindows()) {
        if (topLevelOf(static_cast<Window>(id)) == child) {
            return true;
        }
    }
    return false;
}

} // namespace pressmark::platform::x11
