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

// The backend of a Wayland session whose compositor lets a program send
// clicks and keys (the wlroots family: sway and its kin): the virtual
// pointer and keyboard, the recording overlay, and what the compositor's
// own interface adds (sway: its windows and the hot keys).
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
    std::unique_ptr<Input> m_input;
    std::unique_ptr<Pointer> m_pointer;
    std::unique_ptr<HotKeys> m_hotKeys;
    std::unique_ptr<System> m_system;
    std::unique_ptr<qt::DialogsQt> m_dialogs;
    std::unique_ptr<Clock> m_clock;
    std::string m_limits;
};

} // namespace pressmark::platform::wayland
