#pragma once

#include "platform/Backend.h"

namespace pressmark::platform::win32 {

// Monotonic time, Sleep, and a pump of the thread's pending messages for
// when no other event loop (Qt's) is running the show.
class ClockWin32 final : public Clock {
public:
    // Asks for 1 ms timer resolution, so that sf::Delay's 50 ms slices are
    // not stretched to the default 15.6 ms ticks.
    ClockWin32();
    ~ClockWin32() override;
    ClockWin32(const ClockWin32&) = delete;
    ClockWin32& operator=(const ClockWin32&) = delete;

    std::chrono::nanoseconds now() override;
    // Whole milliseconds, rounded up; nothing for zero or less.
    void sleepFor(std::chrono::nanoseconds d) override;
    // PeekMessage/DispatchMessage until the queue is empty; a WM_QUIT is put
    // back for the loop that owns it.
    void processEvents() override;

private:
    bool m_period = false;
};

} // namespace pressmark::platform::win32
