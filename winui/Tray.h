#pragma once

#include <windows.h>

#include <string>

namespace pressmark::winui {

// The main window's icon in the notification area. It is there from the
// window's creation to its end, and every minimise of the window goes to it:
// the window and its taskbar button are hidden, and a left press on the icon
// brings them back. Without a notification area (no shell, or it refused
// the icon) a minimise stays a plain minimise, so that the window can still
// be had back from the taskbar.
class Tray {
public:
    // The message the icon sends to the window.
    static constexpr UINT CallbackMessage = WM_APP + 0x51;
    // Registered by name: another start of the program posts it to the
    // window to have it restored as a press on the icon does.
    static constexpr const wchar_t* RestoreMessageName = L"Pressmark.RestoreFromTray";

    Tray(HWND window, std::wstring tip);
    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    bool shown() const { return m_shown; }
    // Hides the window to the icon; a plain minimise when there is no icon.
    void minimize();
    // Shows the window and its taskbar button again, in front.
    void restore();
    // The window's messages that are the tray's: the icon's mouse messages,
    // the shell's re-creation of the taskbar, the restore request, and a
    // minimise (which then hides the window). True when the message needs
    // nothing more from the window procedure.
    bool handle(UINT message, WPARAM w, LPARAM l, LRESULT& result);

private:
    bool add();
    void remove();

    HWND m_window;
    std::wstring m_tip;
    UINT m_taskbarCreated;
    UINT m_restoreRequest;
    bool m_shown = false;
};

} // namespace pressmark::winui
