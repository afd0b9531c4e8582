#pragma once

#include "platform/Backend.h"

#include <memory>
#include <string>

namespace pressmark::platform::qt {
class DialogsQt;
}

namespace pressmark::platform::wayland {

class WaylandSession;
class Desktop;
class LayoutSwitch;

// The backend of a Wayland session whose compositor lets a program send
// clicks and keys (the wlroots family: sway and its kin; KWin; GNOME): the
// virtual pointer and keyboard, KWin's fake input or GNOME's remote desktop,
// the recording overlay, and what the desktop's own interfaces add (sway:
// its windows and the hot keys; KDE: the layouts and the hot keys; GNOME,
// through Pressmark's Shell extension: the presses, the hot keys and the
// input sources).
class WaylandBackend {
public:
    // Null, with why in one line, when the compositor offers too little.
    static std::unique_ptr<WaylandBackend> make(std::string& why);
    ~WaylandBackend();
    WaylandBackend(const WaylandBackend&) = delete;
    WaylandBackend& operator=(const WaylandBackend&) = delete;

    // Makes this the backend of dev, sf, net, Notice and AskValue.
    void install();
    Backend backend() const;
    void setDialogOwner(const void* owner);
    // What this desktop does not give (UTF-8, for the window to say once);
    // empty when everything works.
    std::string limits() const { return m_limits; }

private:
    WaylandBackend() = default;

    std::unique_ptr<WaylandSession> m_session;
    std::unique_ptr<Desktop> m_desktop;
    std::unique_ptr<LayoutSwitch> m_layouts;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<Pointer> m_pointer;
    std::unique_ptr<HotKeys> m_hotKeys;
    std::unique_ptr<System> m_system;
    std::unique_ptr<qt::DialogsQt> m_dialogs;
    std::unique_ptr<Clock> m_clock;
    std::string m_limits;
};

} // namespace pressmark::platform::wayland
