#pragma once

#include "platform/Backend.h"

#include <QObject>
#include <QSocketNotifier>

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
class PointerX11 final : public QObject, public Pointer {
public:
    // The native ids of the program's own top-level windows.
    using WindowList = std::function<std::vector<unsigned long>()>;

    // dpy is not owned. ownWindows defaults to the visible top-level widgets.
    explicit PointerX11(Display* dpy, WindowList ownWindows = {});
    ~PointerX11() override;

    void startSampling() override;
    void stopSampling() override;
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    Rect primaryScreen() override;
    bool isOwnWindowAt(Point p) override;

    bool sampling() const { return m_data != nullptr; }
    // Reads what the server has recorded so far; the socket notifier does
    // this by itself whenever events are processed.
    void drain();

private:
    static void onRecord(XPointer self, XRecordInterceptData* data);
    Window topLevelOf(Window w) const;

    Display* m_dpy;
    WindowList m_ownWindows;
    Display* m_data = nullptr; // the RECORD data connection
    XRecordContext m_context = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<Press> m_presses;
};

} // namespace pressmark::platform::x11
