#include "PointerWin32.h"

#include <windows.h>

namespace pressmark::platform::win32 {

void PointerWin32::startSampling() {
    m_sampling = true;
    m_lastLeft = 0;
    m_lastRight = 0;
}

void PointerWin32::stopSampling() {
    m_sampling = false;
}

std::vector<Press> PointerWin32::takePresses() {
    std::vector<Press> presses;
    if (!m_sampling) {
        return presses;
    }
    const Point pos = cursorPos();
    const short left = GetKeyState(VK_LBUTTON);
    const short right = GetKeyState(VK_RBUTTON);
    const bool newLeft = left < 0 && left != m_lastLeft;
    const bool newRight = right < 0 && right != m_lastRight;
    if (!newLeft && !newRight) {
        return presses;
    }
    // A press on our own windows is reported as such and still consumes its
    // state value, so that the next press outside is not mistaken for it.
    const bool own = isOwnWindowAt(pos);
    if (newLeft) {
        presses.push_back({MouseButton::Left, pos, own});
        m_lastLeft = left;
    }
    if (newRight) {
        presses.push_back({MouseButton::Right, pos, own});
        m_lastRight = right;
    }
    return presses;
}

Point PointerWin32::cursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return {static_cast<int>(p.x), static_cast<int>(p.y)};
}

Rect PointerWin32::primaryScreen() {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool PointerWin32::isOwnWindowAt(Point p) {
    const HWND window = WindowFromPoint(POINT{p.x, p.y});
    DWORD pid = 0;
    if (window) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid != 0 && pid == GetCurrentProcessId();
}

} // namespace pressmark::platform::win32
