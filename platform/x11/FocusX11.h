#pragma once

#include <chrono>

#include <X11/Xlib.h>

namespace pressmark::platform::x11 {

class PointerX11;

// Brings the keyboard focus to where typed text belongs before it is typed.
//
// Text goes to the last place the user clicked. When the keyboard focus is on
// nobody or on one of our own windows (the prompt that asked for the text has
// just closed and our main window is hidden; some window managers then focus
// nothing), the window of the last foreign press is activated first. After a
// click of our own, typing waits for the focus to follow it.
class FocusFollower {
public:
    // dpy is not owned and must outlive this object.
    explicit FocusFollower(Display* dpy) : m_dpy(dpy) {}
    ~FocusFollower();
    FocusFollower(const FocusFollower&) = delete;
    FocusFollower& operator=(const FocusFollower&) = delete;

    // Where foreign presses are sampled; null (the default) leaves the focus
    // wherever it is. pointer is not owned and must outlive this object.
    void followForeignPresses(PointerX11* pointer) { m_pointer = pointer; }

    // Before typing: activates the window of the last foreign press while
    // presses are sampled, else waits for the focus to reach clicked (the
    // root-level window under our last press; 0: none).
    void beforeTyping(Window clicked);

    // How long typing waits for the window of the last foreign press to get
    // the focus.
    static constexpr std::chrono::milliseconds focusWait{500};
    // The longest typing waits for the keyboard focus to follow the click
    // before it (a busy window manager took up to half a second here).
    static constexpr std::chrono::milliseconds clickFocusWait{1500};

private:
    void focusLastForeignWindow();
    void waitForFocusAfterClick(Window rootLevel);
    Time serverTime();

    Display* m_dpy;
    PointerX11* m_pointer = nullptr;
    // A connection of our own for reading the server time: Qt's connection
    // hands its events to Qt, never to us.
    Display* m_timeDpy = nullptr;
    Window m_timeWin = 0;
};

} // namespace pressmark::platform::x11
