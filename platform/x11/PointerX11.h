#pragma once

#include "platform/Backend.h"

#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/record.h>

namespace pressmark::platform::x11 {

// What the recorder samples. Polling the buttons misses fast clicks, so every
// press is taken as it happens from the RECORD extension, on a connection of
// our own read through a socket notifier in the GUI thread, and kept with its
// root position until the next tick takes it. Nothing listens while sampling
// is off.
//
// Whether a press is ours is decided by where it landed when it was made, not
// by what lies under its position when it is read: a button that hides the
// window on its click would otherwise leave its own press on whatever was
// below. Qt receives every press on our windows, stamped with the server time
// the recorded copy carries too, so a press Qt has had is ours whatever the
// window did next; and the recorded presses are read before Qt hands on any
// input, so that none is judged after a handler has hidden a window. A press
// on our frame reaches the window manager, which may unmap the window at once
// (its minimise button): the server's delivery of it, recorded too, names the
// frame.
class PointerX11 final : public QObject, public Pointer {
public:
    // The native ids of the program's own top-level windows.
    using WindowList = std::function<std::vector<unsigned long>()>;

    // dpy is not owned. ownWindows defaults to the top-level widgets that have
    // a native window, shown or hidden.
    explicit PointerX11(Display* dpy, WindowList ownWindows = {});
    ~PointerX11() override;

    void startSampling() override;
    void stopSampling() override;
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    Rect primaryScreen() override;
    bool isOwnWindowAt(Point p) override;

    bool sampling() const { return m_data != nullptr; }
    // The client window under the last press that landed on a foreign window
    // while sampling; 0 before the first one, after one on the bare root, and
    // while sampling is off (a press from an earlier recording says nothing
    // about where text should go now).
    Window lastForeignWindow() const { return m_lastForeign; }
    // Whether w is one of our own top-level windows, its frame, or inside it.
    bool isOwnWindow(Window w);
    // Reads what the server has recorded so far; the socket notifier does
    // this by itself whenever events are processed.
    void drain();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void onRecord(XPointer self, XRecordInterceptData* data);
    bool isOwnRootLevel(Window rootLevel);
    bool qtHadPress(std::uint32_t serverTime, int button) const;

    Display* m_dpy;
    WindowList m_ownWindows;
    Display* m_data = nullptr; // the RECORD data connection
    XRecordContext m_context = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct Recorded {
        Press press;
        std::uint32_t time;   // the server's
        Window foreignBefore; // lastForeignWindow() before this press
    };
    std::vector<Recorded> m_presses;
    Window m_lastForeign = 0;
    // The server time and X button of the last presses Qt delivered to our
    // windows while sampling; a few suffice, the recorded copies are read
    // within a tick.
    std::deque<std::pair<std::uint32_t, int>> m_qtPresses;
};

} // namespace pressmark::platform::x11
