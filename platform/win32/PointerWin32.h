#pragma once

#include "platform/Backend.h"

#include <vector>

namespace pressmark::platform::win32 {

// Samples the cursor and the two mouse buttons, as the recorder's timer
// does: GetKeyState's low bit flips with every press, so a state value that
// is down and differs from the last one seen is a new press, and a button
// held across many samples is one press. There is no system-wide hook, so a
// click pressed and released between two samples is not seen.
class PointerWin32 final : public Pointer {
public:
    // Starts with both last states 0: a button already down counts as a press.
    void startSampling() override;
    void stopSampling() override;
    // One sample: at most one press per button, left first, at the cursor
    // position, with the owner of the window under it decided now.
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    // The primary monitor: at the origin, GetSystemMetrics' screen size.
    Rect primaryScreen() override;
    // Whether the window at p belongs to this process (by process id).
    bool isOwnWindowAt(Point p) override;

private:
    bool m_sampling = false;
    short m_lastLeft = 0;
    short m_lastRight = 0;
};

} // namespace pressmark::platform::win32
