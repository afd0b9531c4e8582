#pragma once

#include <windows.h>

namespace pressmark::app {

// One window per user session: the hot keys and the tray icon can be had
// only once. The first start holds a named mutex of the session; a later
// start finds it held, asks the first window to come forward (out of the
// tray too) and ends. A start after a crash takes the mutex over, since the
// system releases it with the process that held it.
class SingleInstanceWin32 {
public:
    SingleInstanceWin32();
    ~SingleInstanceWin32();
    SingleInstanceWin32(const SingleInstanceWin32&) = delete;
    SingleInstanceWin32& operator=(const SingleInstanceWin32&) = delete;

    // True when another start of the program runs: its window was asked to
    // come forward, and this start should end.
    bool handOver();

private:
    HANDLE m_mutex = nullptr;
};

} // namespace pressmark::app
