#include "HotKeysWin32.h"

#include <windows.h>

namespace pressmark::platform::win32 {
namespace {

constexpr wchar_t kClassName[] = L"PressmarkHotKeyWindow";
constexpr UINT_PTR kReleaseTimer = 1;
constexpr UINT kReleasePollMs = 20;

LRESULT CALLBACK hotKeyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HotKeysWin32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_HOTKEY && self) {
        self->onHotKey(static_cast<int>(wParam));
        return 0;
    }
    if (msg == WM_TIMER && wParam == kReleaseTimer && self) {
        self->onReleaseTimer();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = hotKeyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

HWND hwndOf(void* w) {
    return static_cast<HWND>(w);
}

} // namespace

HotKeysWin32::HotKeysWin32() {
    registerClassOnce();
    HWND w = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (w) {
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    m_window = w;
}

HotKeysWin32::~HotKeysWin32() {
    for (const auto& [id, key] : m_registered) {
        UnregisterHotKey(hwndOf(m_window), id);
    }
    if (m_window) {
        DestroyWindow(hwndOf(m_window));
    }
}

bool HotKeysWin32::registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) {
    unregisterHotKey(systemId);
    if (!m_window) {
        m_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return false;
    }
    if (!RegisterHotKey(hwndOf(m_window), systemId, modifiers | MOD_NOREPEAT, keyCode)) {
        m_lastError = GetLastError();
        return false;
    }
    m_registered[systemId] = keyCode;
    return true;
}

void HotKeysWin32::unregisterHotKey(int systemId) {
    if (m_window) {
        UnregisterHotKey(hwndOf(m_window), systemId);
    }
    m_registered.erase(systemId);
    m_held.erase(systemId);
}

void HotKeysWin32::setHandler(std::function<void(int)> handler) {
    m_handler = std::move(handler);
}

void HotKeysWin32::onHotKey(int systemId) {
    if (m_held.count(systemId)) {
        return; // auto-repeat of the combination delivered last
    }
    const auto key = m_registered.find(systemId);
    if (key != m_registered.end() && GetAsyncKeyState(static_cast<int>(key->second)) < 0) {
        m_held.insert(systemId);
        SetTimer(hwndOf(m_window), kReleaseTimer, kReleasePollMs, nullptr);
    }
    if (m_handler) {
        m_handler(systemId);
    }
}

void HotKeysWin32::onReleaseTimer() {
    for (auto it = m_held.begin(); it != m_held.end();) {
        const auto key = m_registered.find(*it);
        if (key == m_registered.end() || GetAsyncKeyState(static_cast<int>(key->second)) >= 0) {
            it = m_held.erase(it);
        } else {
            ++it;
        }
    }
    if (m_held.empty()) {
        KillTimer(hwndOf(m_window), kReleaseTimer);
    }
}

} // namespace pressmark::platform::win32
