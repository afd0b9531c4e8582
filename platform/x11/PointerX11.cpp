#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {
// Spelt before Xlib's KeyPress and KeyRelease macros hide Qt's names.
bool isKeyEvent(const QEvent* event) {
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}
} // namespace

#include "PointerX11.h"

#include "X11Util.h"

#include <X11/Xproto.h>

namespace pressmark::platform::x11 {
namespace {

// Hidden ones too: the keyboard focus test must know a window of ours in
// whatever state, and a frame may outlive its hidden client for a moment. An
// unmapped window is never under a press, so this cannot make a press ours.
std::vector<unsigned long> nativeTopLevels() {
    std::vector<unsigned long> ids;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // internalWinId: never create a native window just to compare it.
        if (w->internalWinId() != 0) {
            ids.push_back(static_cast<unsigned long>(w->internalWinId()));
        }
    }
    return ids;
}

} // namespace

PointerX11::PointerX11(Display* dpy, WindowList ownWindows)
    : m_dpy(dpy), m_ownWindows(ownWindows ? std::move(ownWindows) : WindowList(nativeTopLevels)) {}

PointerX11::~PointerX11() {
    stopSampling();
}

void PointerX11::startSampling() {
    if (m_data) {
        return;
    }
    m_presses.clear();
    m_qtPresses.clear();
    m_lastForeign = 0;
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
    range->delivered_events.first = ButtonPress;
    range->delivered_events.last = ButtonPress;
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
    // A child, so that a test can hold the reading back.
    m_notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(m_data), QSocketNotifier::Read, this);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

void PointerX11::stopSampling() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
    m_notifier.reset();
    m_lastForeign = 0;
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
        const Window to = ev->u.keyButtonPointer.event;
        const std::uint32_t time = ev->u.keyButtonPointer.time;
        if (type == ButtonPress && (detail == 1 || detail == 3) && to == 0) {
            // The press as the device made it (no window yet).
            const Point pos{ev->u.keyButtonPointer.rootX, ev->u.keyButtonPointer.rootY};
            // Decided now, not at the tick: the window under the press may be
            // gone by then (a prompt that closes on this very click). One Qt
            // has had is ours even if its window is gone already; one it has
            // not had yet cannot have made any of ours go.
            const Window rootLevel = rootLevelAt(p->m_dpy, pos);
            const bool own = p->qtHadPress(time, detail) || p->isOwnRootLevel(rootLevel);
            p->m_presses.push_back(
                {Press{detail == 1 ? MouseButton::Left : MouseButton::Right, pos, own}, time,
                 p->m_lastForeign});
            if (!own) {
                p->m_lastForeign = clientWindowOf(p->m_dpy, rootLevel);
            }
        } else if (type == ButtonPress && to != 0 && !p->m_presses.empty()) {
            // The same press as delivered, right after it: to the window
            // manager when it landed on our frame (or on our window, to focus
            // it), which the window manager may have unmapped since.
            Recorded& last = p->m_presses.back();
            const bool sameButton = (detail == 1 && last.press.button == MouseButton::Left) ||
                                    (detail == 3 && last.press.button == MouseButton::Right);
            if (last.time == time && sameButton && !last.press.ownWindow && p->isOwnWindow(to)) {
                last.press.ownWindow = true;
                p->m_lastForeign = last.foreignBefore;
            }
        }
    }
    XRecordFreeData(data);
}

bool PointerX11::eventFilter(QObject* watched, QEvent* event) {
    // Input reaches a window before its widgets: once per event is enough.
    if (!watched->isWindowType()) {
        return false;
    }
    if (isKeyEvent(event)) {
        drain();
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        const int button = mouse->button() == Qt::LeftButton    ? 1
                           : mouse->button() == Qt::RightButton ? 3
                                                                : 0;
        if (button != 0) {
            constexpr std::size_t kept = 32;
            if (m_qtPresses.size() == kept) {
                m_qtPresses.pop_front();
            }
            // X server time: 32 bits, as the recorded copy carries it.
            m_qtPresses.emplace_back(static_cast<std::uint32_t>(mouse->timestamp()), button);
        }
        drain();
        break;
    }
    case QEvent::MouseButtonRelease:
        // What this input's handler does to our windows (a button hides the
        // window on its release, Return closes a prompt) must not change how
        // a press already made is judged: the keys are read above.
        drain();
        break;
    default:
        break;
    }
    return false;
}

bool PointerX11::qtHadPress(std::uint32_t serverTime, int button) const {
    for (const auto& [time, b] : m_qtPresses) {
        if (time == serverTime && b == button) {
            return true;
        }
    }
    return false;
}

std::vector<Press> PointerX11::takePresses() {
    drain();
    std::vector<Press> out;
    out.reserve(m_presses.size());
    for (const Recorded& r : m_presses) {
        out.push_back(r.press);
    }
    m_presses.clear();
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

bool PointerX11::isOwnRootLevel(Window rootLevel) {
    if (rootLevel == 0) {
        return false; // the bare root belongs to nobody
    }
    for (unsigned long id : m_ownWindows()) {
        if (rootLevelOf(m_dpy, static_cast<Window>(id)) == rootLevel) {
            return true;
        }
    }
    return false;
}

bool PointerX11::isOwnWindowAt(Point p) {
    return isOwnRootLevel(rootLevelAt(m_dpy, p));
}

bool PointerX11::isOwnWindow(Window w) {
    return isOwnRootLevel(rootLevelOf(m_dpy, w));
}

} // namespace pressmark::platform::x11
