#include "Tray.h"

#include <shellapi.h>

#include <algorithm>

namespace pressmark::winui {

namespace {

constexpr UINT kIconId = 1;

} // namespace

Tray::Tray(HWND window, std::wstring tip)
    : m_window(window), m_tip(std::move(tip)),
      m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")),
      m_restoreRequest(RegisterWindowMessageW(RestoreMessageName)) {
    add();
}

Tray::~Tray() {
    remove();
}

bool Tray::add() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | (m_tip.empty() ? 0U : static_cast<UINT>(NIF_TIP));
    data.uCallbackMessage = CallbackMessage;
    // The window's own icon, the one its class was given.
    data.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(m_window, GCLP_HICONSM));
    if (!data.hIcon) {
        data.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(m_window, GCLP_HICON));
    }
    const std::size_t tipLength = std::min(m_tip.size(), std::size(data.szTip) - 1);
    std::copy_n(m_tip.begin(), tipLength, data.szTip);
    // A shell that still shows the icon refuses to add it again: it is
    // there if it can be changed.
    m_shown =
        Shell_NotifyIconW(NIM_ADD, &data) != FALSE || Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    return m_shown;
}

void Tray::remove() {
    if (!m_shown) {
        return;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = kIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    m_shown = false;
}

void Tray::minimize() {
    // The shell may have come up since the window was made.
    if (!m_shown) {
        add();
    }
    // The minimise's WM_SIZE hides the window when the icon is there.
    ShowWindow(m_window, SW_MINIMIZE);
}

void Tray::restore() {
    ShowWindow(m_window, IsIconic(m_window) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(m_window);
}

bool Tray::handle(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    if (message == CallbackMessage) {
        // Only a left press restores; every other mouse action does nothing.
        if (static_cast<UINT>(l) == WM_LBUTTONDOWN) {
            restore();
        }
        result = 0;
        return true;
    }
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        // A new shell knows no icon of ours, whatever the old one had.
        m_shown = false;
        add();
        result = 0;
        return true;
    }
    if (message == m_restoreRequest && m_restoreRequest != 0) {
        restore();
        result = 0;
        return true;
    }
    switch (message) {
    case WM_SIZE:
        // Every minimise, the title bar's too, leaves only the icon.
        if (w == SIZE_MINIMIZED && m_shown) {
            ShowWindow(m_window, SW_HIDE);
        }
        return false;
    case WM_DESTROY:
        remove();
        return false;
    default:
        return false;
    }
}

} // namespace pressmark::winui
