#include "SingleInstanceWin32.h"

#include "base/win32/WideText.h"
#include "window/Layout.h"
#include "winui/TForm1.h"
#include "winui/Tray.h"

#include <string>

namespace pressmark::app {
namespace {

// How long a first start that holds the mutex may take to make its window.
constexpr int kFindTries = 50;
constexpr DWORD kFindPauseMs = 100;

std::wstring mutexName() {
    // "Local\" is the session's namespace; the user's name keeps apart two
    // users of one session (a program started as another user).
    std::wstring user(256, L'\0');
    DWORD size = static_cast<DWORD>(user.size());
    if (GetUserNameW(user.data(), &size) && size > 0) {
        user.resize(size - 1);
    } else {
        user.clear();
    }
    for (wchar_t& c : user) {
        if (c == L'\\') {
            c = L'_';
        }
    }
    return L"Local\\Pressmark.SingleInstance." + user;
}

} // namespace

SingleInstanceWin32::SingleInstanceWin32() = default;

SingleInstanceWin32::~SingleInstanceWin32() {
    if (m_mutex) {
        CloseHandle(m_mutex);
    }
}

bool SingleInstanceWin32::handOver() {
    m_mutex = CreateMutexW(nullptr, FALSE, mutexName().c_str());
    if (!m_mutex || GetLastError() != ERROR_ALREADY_EXISTS) {
        // The first start (or no mutex to be had: then this one runs, as
        // it would without the check).
        return false;
    }
    CloseHandle(m_mutex);
    m_mutex = nullptr;
    const std::wstring caption = win32::widenUtf8(layout::control("Form1").caption);
    const UINT restore = RegisterWindowMessageW(winui::Tray::RestoreMessageName);
    for (int i = 0; i < kFindTries; ++i) {
        const HWND first = FindWindowW(winui::TForm1::WindowClass, caption.c_str());
        if (first && restore != 0) {
            // The started program may bring a window forward; the first one,
            // asked to restore itself, may then do so.
            DWORD pid = 0;
            GetWindowThreadProcessId(first, &pid);
            AllowSetForegroundWindow(pid);
            PostMessageW(first, restore, 0, 0);
            return true;
        }
        Sleep(kFindPauseMs);
    }
    // A first start still without a window (or one that never makes it)
    // keeps the hot keys: a second window beside it would have none.
    return true;
}

} // namespace pressmark::app
