#include <QObject>

#include "FocusX11.h"

#include "PointerX11.h"
#include "X11Util.h"

#include <algorithm>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace pressmark::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// A window named by a window-valued property of w; 0 when there is none.
Window windowProperty(Display* dpy, Window w, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    Window value = 0;
    if (XGetWindowProperty(dpy, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1) {
        value = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data) {
        XFree(data);
    }
    return value;
}

// Whether a running window manager takes activation requests. The check
// window must name itself: a window manager that has quit leaves a stale
// root property behind.
bool activationSupported(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    const Window wm = windowProperty(dpy, root, check);
    if (wm == 0 || windowProperty(dpy, wm, check) != wm) {
        return false;
    }
    const Atom active = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool supported = false;
    if (XGetWindowProperty(dpy, root, XInternAtom(dpy, "_NET_SUPPORTED", False), 0, 4096, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const unsigned long*>(data);
        supported = std::find(atoms, atoms + count, active) != atoms + count;
    }
    if (data) {
        XFree(data);
    }
    return supported;
}

bool isViewable(Display* dpy, Window w) {
    XWindowAttributes attrs{};
    return XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable;
}

} // namespace

FocusFollower::~FocusFollower() {
    if (m_timeDpy) {
        XCloseDisplay(m_timeDpy);
    }
}

void FocusFollower::beforeTyping(Window clicked) {
    if (m_pointer && m_pointer->sampling()) {
        focusLastForeignWindow();
    } else if (clicked != 0) {
        waitForFocusAfterClick(clicked);
    }
}

Time FocusFollower::serverTime() {
    // A zero-length append to a property of a window of ours: the server
    // stamps the notification with its current time.
    if (!m_timeDpy) {
        m_timeDpy = XOpenDisplay(DisplayString(m_dpy));
        if (!m_timeDpy) {
            return CurrentTime;
        }
        XSetWindowAttributes attrs{};
        attrs.event_mask = PropertyChangeMask;
        m_timeWin = XCreateWindow(m_timeDpy, DefaultRootWindow(m_timeDpy), -1, -1, 1, 1, 0, 0,
                                  InputOnly, CopyFromParent, CWEventMask, &attrs);
    }
    static const unsigned char nothing[1] = {0};
    XChangeProperty(m_timeDpy, m_timeWin, XInternAtom(m_timeDpy, "_PRESSMARK_TIME", False),
                    XA_STRING, 8, PropModeAppend, nothing, 0);
    XEvent ev{};
    XWindowEvent(m_timeDpy, m_timeWin, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

void FocusFollower::focusLastForeignWindow() {
    if (!m_pointer) {
        return;
    }
    const Window target = m_pointer->lastForeignWindow();
    if (target == 0) {
        return; // no foreign press yet: the focus is wherever the user put it
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &focus, &revert);
    if (focus != None && focus != PointerRoot && !m_pointer->isOwnWindow(focus)) {
        return; // another program has it: the user chose it
    }
    const bool wm = activationSupported(m_dpy);
    // Without a window manager only a mapped window can take the focus; a
    // window manager may restore an iconified one.
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(m_dpy, target, &attrs) || (!wm && attrs.map_state != IsViewable)) {
        return; // closed or hidden since the press
    }
    const Atom activeWindow = XInternAtom(m_dpy, "_NET_ACTIVE_WINDOW", False);
    // Through the window manager when there is one: it also raises or
    // restores the window, and it handles our request after the events it
    // still has queued (our prompt's closing), so that its own focus choice
    // for those cannot undo ours. Source 2: a request on the user's behalf,
    // which focus stealing prevention lets through.
    if (wm) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = target;
        ev.xclient.message_type = activeWindow;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 2;
        ev.xclient.data.l[1] = static_cast<long>(serverTime());
        ev.xclient.data.l[2] = 0;
        XSendEvent(m_dpy, DefaultRootWindow(m_dpy), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    } else {
        XSetInputFocus(m_dpy, target, RevertToPointerRoot, serverTime());
    }
    XSync(m_dpy, False);

    // Keys sent before the focus arrives would go to the old place: wait for
    // it, a bounded time. A window manager is also given the time to catch
    // up (it names the window active once it has handled everything queued
    // before), so that a late focus choice of its own does not move the
    // focus away while we type. openbox, still busy with our prompt's
    // closing, took 150 to 450 ms for the request here; halfway through, the
    // focus is set directly.
    const auto start = Clock::now();
    bool forced = !wm;
    for (;;) {
        XGetInputFocus(m_dpy, &focus, &revert);
        const bool focused =
            focus != None && focus != PointerRoot && isWithin(m_dpy, focus, target);
        if (focused &&
            (!wm || windowProperty(m_dpy, DefaultRootWindow(m_dpy), activeWindow) == target)) {
            return;
        }
        const auto waited = Clock::now() - start;
        if (waited >= focusWait) {
            return;
        }
        if (!focused && !forced && waited >= focusWait / 2 && isViewable(m_dpy, target)) {
            forced = true;
            XSetInputFocus(m_dpy, target, RevertToPointerRoot, serverTime());
            XSync(m_dpy, False);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void FocusFollower::waitForFocusAfterClick(Window rootLevel) {
    // A click on another program moves the focus there only once the window
    // manager has handled it; keys sent before would still go to the program
    // clicked before. Nothing to wait for when the window cannot take the
    // focus: a menu or tooltip (override-redirect), or a client that asks
    // never to be given the input.
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(m_dpy, rootLevel, &attrs) || attrs.map_state != IsViewable) {
        return;
    }
    // Window managers may make their frames override-redirect too: only a
    // root-level window with no managed client inside is a menu.
    const Window client = clientWindowOf(m_dpy, rootLevel);
    if (client == rootLevel && attrs.override_redirect) {
        return;
    }
    if (m_pointer && m_pointer->isOwnWindow(client)) {
        return;
    }
    if (XWMHints* hints = XGetWMHints(m_dpy, client)) {
        const bool refuses = (hints->flags & InputHint) && !hints->input;
        XFree(hints);
        if (refuses) {
            Atom* protocols = nullptr;
            int count = 0;
            bool takesFocus = false;
            if (XGetWMProtocols(m_dpy, client, &protocols, &count)) {
                const Atom take = XInternAtom(m_dpy, "WM_TAKE_FOCUS", False);
                takesFocus = std::find(protocols, protocols + count, take) != protocols + count;
                XFree(protocols);
            }
            if (!takesFocus) {
                return;
            }
        }
    }
    const auto until = Clock::now() + clickFocusWait;
    for (;;) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_dpy, &focus, &revert);
        if ((focus != None && focus != PointerRoot && isWithin(m_dpy, focus, rootLevel)) ||
            Clock::now() >= until) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace pressmark::platform::x11
