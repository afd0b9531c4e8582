#pragma once

#include "platform/Backend.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <map>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace pressmark::platform::x11 {

// Global hot keys as key grabs on the root window. A grab matches the exact
// modifier state, so each combination is grabbed four times: alone, with
// Caps Lock, with Num Lock, with both. A grab another client holds fails
// with BadAccess; the request is checked, and the grabs already made for
// that combination are released again.
class HotKeysX11 final : public QObject, public HotKeys, public QAbstractNativeEventFilter {
public:
    // dpy and conn are the same connection (Qt's); neither is owned. The
    // filter is installed on the application while this object lives.
    HotKeysX11(Display* dpy, xcb_connection_t* conn);
    ~HotKeysX11() override;

    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override;
    void unregisterHotKey(int systemId) override;
    void setHandler(std::function<void(int systemId)> handler) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The X keysym of a Windows virtual-key code, NoSymbol when there is none.
    static KeySym keysymForVirtualKey(unsigned vk);

private:
    struct Grab {
        xcb_keycode_t keycode = 0;
        std::uint16_t mods = 0;
        bool down = false; // pressed and not yet released: later presses are auto-repeat
        xcb_timestamp_t released = 0;
    };
    std::uint16_t xMods(unsigned winMods) const;
    std::vector<std::uint16_t> lockVariants() const;
    void ungrab(const Grab& g);

    Display* m_dpy;
    xcb_connection_t* m_conn;
    xcb_window_t m_root;
    std::map<int, Grab> m_grabs;
    std::function<void(int)> m_handler;
};

} // namespace pressmark::platform::x11
