#include "InputWin32.h"

#include "PointerWin32.h"

#include "base/win32/WideText.h"

#include <windows.h>

#include <vector>

namespace pressmark::platform::win32 {

using pressmark::win32::widenCp1251;
namespace {

INPUT keyRecord(WORD vk, WORD scan, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

bool isExtended(WORD vk) {
    return vk == VK_RCONTROL || vk == VK_RMENU || vk == VK_LWIN || vk == VK_RWIN;
}

// The modifiers that change what a key stroke means to the receiver: with
// Alt down a Unicode packet becomes a system character (a menu accelerator),
// with Ctrl down a control character for many programs.
constexpr WORD kModifiers[] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL,
                               VK_LMENU,  VK_RMENU,  VK_LWIN,     VK_RWIN};

std::vector<WORD> heldModifiers() {
    std::vector<WORD> held;
    for (WORD vk : kModifiers) {
        if (GetAsyncKeyState(vk) < 0) {
            held.push_back(vk);
        }
    }
    return held;
}

void sendModifiers(const std::vector<WORD>& keys, bool down) {
    for (WORD vk : keys) {
        DWORD flags = down ? 0 : KEYEVENTF_KEYUP;
        if (isExtended(vk)) {
            flags |= KEYEVENTF_EXTENDEDKEY;
        }
        INPUT in = keyRecord(vk, static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)), flags);
        SendInput(1, &in, sizeof(INPUT));
    }
}

// How long the window that is to have the text may take to come to the front.
constexpr ULONGLONG kFocusWaitMs = 500;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

std::int64_t InputWin32::pixelOf(std::int32_t normalized, int extent) {
    const std::int64_t n = normalized;
    // 65535 is odd, so n * extent / 65535 is never exactly half way.
    std::int64_t pixel = floorDiv(n * extent + 32767, 65535);
    if (n >= 0 && n <= 65535 && pixel > extent - 1) {
        pixel = extent - 1;
    }
    return pixel;
}

std::int32_t InputWin32::systemAbsolute(std::int32_t normalized, int extent) {
    if (extent <= 0) {
        return normalized;
    }
    const std::int64_t pixel = pixelOf(normalized, extent);
    // The smallest dx with dx * extent / 65536 >= pixel.
    return static_cast<std::int32_t>(-floorDiv(-pixel * 65536, extent));
}

void InputWin32::moveTo(std::int32_t nx, std::int32_t ny) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    if (width > 0 && height > 0) {
        const std::int64_t x = pixelOf(nx, width);
        const std::int64_t y = pixelOf(ny, height);
        if (x < 0 || y < 0 || x >= width || y >= height) {
            SetCursorPos(static_cast<int>(x), static_cast<int>(y));
            // A move of nothing, so that the window under the cursor hears
            // of it as of any other move.
            mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
            return;
        }
    }
    const std::int32_t dx = systemAbsolute(nx, width);
    const std::int32_t dy = systemAbsolute(ny, height);
    mouse_event(MoveFlags, static_cast<DWORD>(dx), static_cast<DWORD>(dy), 0, 0);
}

void InputWin32::button(MouseButton b, bool down) {
    const bool left = b == MouseButton::Left;
    const unsigned flags =
        left ? (down ? LeftDownFlags : LeftUpFlags) : (down ? RightDownFlags : RightUpFlags);
    mouse_event(flags, 0, 0, 0, 0);
}

void InputWin32::focusLastForeignWindow() {
    const auto target = static_cast<HWND>(m_pointer->lastForeignWindow());
    if (!target || !IsWindow(target) || !IsWindowVisible(target) ||
        GetForegroundWindow() == target) {
        return;
    }
    // When our window hides for the prompt, the system activates a window
    // of its choice, which need not be the one clicked: under Wine it was
    // the tray icon's. The keys go to the window in front when the system
    // takes them, so it has to be there first.
    SetForegroundWindow(target);
    const ULONGLONG until = GetTickCount64() + kFocusWaitMs;
    while (GetForegroundWindow() != target && GetTickCount64() < until) {
        Sleep(5);
    }
}

TypeReport InputWin32::typeText(std::string_view cp1251) {
    if (m_pointer && m_pointer->sampling()) {
        focusLastForeignWindow();
    }
    return typeUnicode(widenCp1251(cp1251));
}

TypeReport InputWin32::typeUnicode(std::wstring_view text) {
    TypeReport report;
    if (text.empty()) {
        return report;
    }
    const std::vector<WORD> held = heldModifiers();
    sendModifiers(held, false);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t units = 1;
        if (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            units = 2;
        }
        // Presses first, then releases: a receiver sees the two halves of a
        // surrogate pair as adjacent characters and joins them.
        INPUT records[4];
        UINT n = 0;
        for (std::size_t k = 0; k < units; ++k) {
            records[n++] = keyRecord(0, text[i + k], KEYEVENTF_UNICODE);
        }
        for (std::size_t k = 0; k < units; ++k) {
            records[n++] = keyRecord(0, text[i + k], KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
        }
        if (SendInput(n, records, sizeof(INPUT)) == n) {
            ++report.typed;
        } else {
            ++report.skipped;
        }
        i += units;
    }
    sendModifiers(held, true);
    return report;
}

} // namespace pressmark::platform::win32
