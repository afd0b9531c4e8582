#include "ClockWin32.h"

#include <windows.h>
#include <timeapi.h>

namespace pressmark::platform::win32 {

ClockWin32::ClockWin32() : m_period(timeBeginPeriod(1) == TIMERR_NOERROR) {}

ClockWin32::~ClockWin32() {
    if (m_period) {
        timeEndPeriod(1);
    }
}

std::chrono::nanoseconds ClockWin32::now() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

void ClockWin32::sleepFor(std::chrono::nanoseconds d) {
    if (d <= std::chrono::nanoseconds::zero()) {
        return;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    Sleep(static_cast<DWORD>(ms));
}

void ClockWin32::processEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace pressmark::platform::win32
