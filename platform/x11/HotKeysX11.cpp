#include <QCoreApplication>

#include "HotKeysX11.h"

#include <cstdlib>

#include <X11/keysym.h>

namespace pressmark::platform::x11 {
namespace {

constexpr std::uint16_t relevantMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 |
                                       XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 |
                                       XCB_MOD_MASK_5;

// The modifier bit that a key with this keysym sets, or fallback.
std::uint16_t modMaskOf(Display* dpy, KeySym sym, std::uint16_t fallback) {
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    std::uint16_t mask = 0;
    if (code != 0) {
        if (XModifierKeymap* mm = XGetModifierMapping(dpy)) {
            for (int mod = 0; mod < 8 && mask == 0; ++mod) {
                for (int k = 0; k < mm->max_keypermod; ++k) {
                    if (mm->modifiermap[mod * mm->max_keypermod + k] == code) {
                        mask = static_cast<std::uint16_t>(1u << mod);
                        break;
                    }
                }
            }
            XFreeModifiermap(mm);
        }
    }
    return mask ? mask : fallback;
}

} // namespace

HotKeysX11::HotKeysX11(Display* dpy, xcb_connection_t* conn)
    : m_dpy(dpy), m_conn(conn), m_root(static_cast<xcb_window_t>(DefaultRootWindow(dpy))) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

HotKeysX11::~HotKeysX11() {
    if (auto* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
    for (const auto& [id, g] : m_grabs) {
        ungrab(g);
    }
    xcb_flush(m_conn);
}

KeySym HotKeysX11::keysymForVirtualKey(unsigned vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return XK_a + (vk - 'A');
    }
    if (vk >= '0' && vk <= '9') {
        return XK_0 + (vk - '0');
    }
    if (vk >= 0x70 && vk <= 0x87) { // VK_F1..VK_F24
        return XK_F1 + (vk - 0x70);
    }
    if (vk >= 0x60 && vk <= 0x69) { // VK_NUMPAD0..9
        return XK_KP_0 + (vk - 0x60);
    }
    switch (vk) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0D:
        return XK_Return;
    case 0x13:
        return XK_Pause;
    case 0x1B:
        return XK_Escape;
    case 0x20:
        return XK_space;
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2C:
        return XK_Print;
    case 0x2D:
        return XK_Insert;
    case 0x2E:
        return XK_Delete;
    default:
        return NoSymbol;
    }
}

std::uint16_t HotKeysX11::xMods(unsigned winMods) const {
    std::uint16_t m = 0;
    if (winMods & ModAlt) {
        m |= modMaskOf(m_dpy, XK_Alt_L, XCB_MOD_MASK_1);
    }
    if (winMods & ModControl) {
        m |= XCB_MOD_MASK_CONTROL;
    }
    if (winMods & ModShift) {
        m |= XCB_MOD_MASK_SHIFT;
    }
    if (winMods & ModWin) {
        m |= modMaskOf(m_dpy, XK_Super_L, XCB_MOD_MASK_4);
    }
    return m;
}

std::vector<std::uint16_t> HotKeysX11::lockVariants() const {
    const std::uint16_t num = modMaskOf(m_dpy, XK_Num_Lock, XCB_MOD_MASK_2);
    return {0, XCB_MOD_MASK_LOCK, num, static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | num)};
}

void HotKeysX11::ungrab(const Grab& g) {
    for (std::uint16_t lock : lockVariants()) {
        xcb_ungrab_key(m_conn, g.keycode, m_root, static_cast<std::uint16_t>(g.mods | lock));
    }
}

bool HotKeysX11::registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) {
    unregisterHotKey(systemId);
    const KeySym sym = keysymForVirtualKey(keyCode);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(m_dpy, sym);
    if (code == 0) {
        return false;
    }
    const Grab g{static_cast<xcb_keycode_t>(code), xMods(modifiers), false};
    std::vector<std::uint16_t> done;
    for (std::uint16_t lock : lockVariants()) {
        const auto mods = static_cast<std::uint16_t>(g.mods | lock);
        // owner_events off: while the grab is active every key event, the
        // release included, is reported to the root, also when the focus is
        // in a window of ours.
        const xcb_void_cookie_t c = xcb_grab_key_checked(m_conn, 0, m_root, mods, g.keycode,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* err = xcb_request_check(m_conn, c)) {
            std::free(err);
            for (std::uint16_t m : done) {
                xcb_ungrab_key(m_conn, g.keycode, m_root, m);
            }
            xcb_flush(m_conn);
            return false;
        }
        done.push_back(mods);
    }
    m_grabs[systemId] = g;
    return true;
}

void HotKeysX11::unregisterHotKey(int systemId) {
    const auto it = m_grabs.find(systemId);
    if (it == m_grabs.end()) {
        return;
    }
    ungrab(it->second);
    xcb_flush(m_conn);
    m_grabs.erase(it);
}

void HotKeysX11::setHandler(std::function<void(int systemId)> handler) {
    m_handler = std::move(handler);
}

bool HotKeysX11::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* ev = static_cast<const xcb_generic_event_t*>(message);
    const int type = ev->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    // Only our own client's events pass here. A grabbed combination can still
    // reach one of our windows instead of the root (a popup of ours holding
    // the keyboard), and a release that is missed would make the next press
    // look like auto-repeat: so the window does not matter.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(ev);
    const std::uint16_t num = modMaskOf(m_dpy, XK_Num_Lock, XCB_MOD_MASK_2);
    const auto mods = static_cast<std::uint16_t>(key->state & relevantMods & ~num);
    for (auto& [id, g] : m_grabs) {
        if (g.keycode != key->detail || g.mods != mods) {
            continue;
        }
        if (type == XCB_KEY_RELEASE) {
            g.down = false;
            g.released = key->time;
            return true;
        }
        // Auto-repeat: more presses while the key is down or, since the
        // server repeats a held key as release and press pairs with one
        // timestamp, a press at the time of the release before it.
        const bool repeat = g.down || (g.released != 0 && key->time == g.released);
        g.down = true;
        if (repeat) {
            return true;
        }
        // Delivered from the event loop, not from inside the filter: the
        // handler may open a modal dialog.
        const int sid = id;
        QMetaObject::invokeMethod(
            this,
            [this, sid] {
                if (m_handler) {
                    m_handler(sid);
                }
            },
            Qt::QueuedConnection);
        return true;
    }
    // A release arrives with the modifier state of the moment: the modifier
    // may already be up, so release by keycode alone.
    if (type == XCB_KEY_RELEASE) {
        for (auto& [id, g] : m_grabs) {
            if (g.keycode == key->detail) {
                g.down = false;
                g.released = key->time;
            }
        }
    }
    return false;
}

} // namespace pressmark::platform::x11
