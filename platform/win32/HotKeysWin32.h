#pragma once

#include "platform/Backend.h"

#include <functional>
#include <map>
#include <set>

namespace pressmark::platform::win32 {

// Global hot keys on a message-only window of our own, so that WM_HOTKEY
// reaches the handler through any message loop of the creating thread: Qt's,
// a modal dialog's, or sf::Delay's pump.
class HotKeysWin32 final : public HotKeys {
public:
    HotKeysWin32();
    ~HotKeysWin32() override;
    HotKeysWin32(const HotKeysWin32&) = delete;
    HotKeysWin32& operator=(const HotKeysWin32&) = delete;

    // false when the system refuses, typically ERROR_HOTKEY_ALREADY_REGISTERED
    // (1409): another program, or another window, holds the combination.
    // A held combination is delivered once: MOD_NOREPEAT asks the system,
    // and where it is ignored (Wine), a press that arrives while the key is
    // still down since the last delivery is taken for auto-repeat.
    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override;
    void unregisterHotKey(int systemId) override;
    void setHandler(std::function<void(int systemId)> handler) override;

    // The HWND that receives WM_HOTKEY.
    void* window() const { return m_window; }
    // The system's error code of the last refused registration.
    unsigned long lastError() const { return m_lastError; }

    // Called by the window procedure.
    void onHotKey(int systemId);
    void onReleaseTimer();

private:
    void* m_window = nullptr;
    std::map<int, unsigned> m_registered; // systemId -> key code
    std::set<int> m_held;
    std::function<void(int)> m_handler;
    unsigned long m_lastError = 0;
};

} // namespace pressmark::platform::win32
