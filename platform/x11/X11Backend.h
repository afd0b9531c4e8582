#pragma once

#include "platform/Backend.h"

#include <memory>
#include <string>

namespace pressmark::platform::qt {
class DialogsQt;
}

namespace pressmark::platform::x11 {

class InputX11;
class PointerX11;
class HotKeysX11;

// True when the program runs on an X11 display through Qt's xcb plugin: only
// then can it inject input, sample the pointer and grab hot keys.
bool x11Available();

// Empty when an X server answers at $DISPLAY; else why not, in one line.
// Before the QApplication exists: Qt aborts the program when its xcb plugin
// cannot connect, where this lets the program say so and end on its terms.
std::string x11ConnectProblem();

// The Linux backend: owns one object per capability. Without an X11 display
// (another Qt platform plugin) input, pointer and hot keys are inert stand-ins
// that do nothing and report hot keys as unavailable; the program says so on
// start and on Record and Run (x11Available()).
class X11Backend {
public:
    X11Backend();
    ~X11Backend();
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;

    // Makes this the backend of dev, sf, net, Notice and AskValue.
    void install();
    Backend backend() const;
    bool onX11() const { return m_onX11; }
    // The window that owns notices shown without an owner (its native id).
    void setDialogOwner(const void* owner);

private:
    bool m_onX11 = false;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<Pointer> m_pointer;
    std::unique_ptr<HotKeys> m_hotKeys;
    std::unique_ptr<System> m_system;
    std::unique_ptr<qt::DialogsQt> m_dialogs;
    std::unique_ptr<Clock> m_clock;
};

// Call after the QApplication exists, and destroy the backend before it: the
// hot keys are given back and borrowed keycodes restored on Qt's connection.
std::unique_ptr<X11Backend> makeBackend();

} // namespace pressmark::platform::x11
