#include "InputWin32.h"

#include "PointerWin32.h"

#include "base/win32/WideText.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <vector>

namespace pressmark::platform::win32 {

using pressmark::win32::widenUtf8;
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

// How long the window that is to have the text may take to come to the front
// when we bring it there, and when a click is to bring it there (a window
// manager busy with the click may take half a second under Wine).
constexpr ULONGLONG kFocusWaitMs = 500;
constexpr ULONGLONG kClickFocusWaitMs = 1500;
// How long the receiver may take to read the keys typed: a fixed allowance
// and a little more for each character.
constexpr ULONGLONG kTakeWaitMs = 1000;
constexpr ULONGLONG kTakeWaitPerCharMs = 2;
// The key that marks the end of a text: one no keyboard has, which no
// layout turns into a character and programs ignore.
constexpr WORD kEndMarkKey = 0xE8;

bool waitForForeground(const std::function<bool(HWND)>& arrived, ULONGLONG ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        if (arrived(GetForegroundWindow())) {
            return true;
        }
        if (GetTickCount64() >= until) {
            return false;
        }
        Sleep(5);
    }
}

// Whether a press on this top-level window makes it the one in front: menus,
// tooltips and windows that ask not to be activated never come there.
bool takesActivation(HWND root) {
    if (!root || !IsWindow(root) || !IsWindowVisible(root) || root == GetDesktopWindow() ||
        root == GetShellWindow()) {
        return false;
    }
    if (GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_NOACTIVATE) {
        return false;
    }
    wchar_t cls[32]{};
    GetClassNameW(root, cls, 32);
    return lstrcmpW(cls, L"#32768") != 0 && lstrcmpW(cls, TOOLTIPS_CLASSW) != 0;
}

// Whether the window in front is where a press on root leads: root itself,
// or, while root is disabled under a modal dialog, that dialog.
bool leadsTo(HWND foreground, HWND root) {
    if (!foreground) {
        return false;
    }
    if (foreground == root) {
        return true;
    }
    return !IsWindowEnabled(root) &&
           GetAncestor(foreground, GA_ROOTOWNER) == GetAncestor(root, GA_ROOTOWNER);
}

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
    m_moved = width > 0 && height > 0;
    if (width > 0 && height > 0) {
        const std::int64_t x = pixelOf(nx, width);
        const std::int64_t y = pixelOf(ny, height);
        m_movedTo = {x, y};
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
    if (down) {
        // The top-level window the press lands on, decided before the press
        // can change what is where.
        POINT at{};
        if (m_moved) {
            at = {static_cast<LONG>(m_movedTo.x), static_cast<LONG>(m_movedTo.y)};
        } else {
            GetCursorPos(&at);
        }
        m_clicked = GetAncestor(WindowFromPoint(at), GA_ROOT);
    }
    const bool left = b == MouseButton::Left;
    const unsigned flags =
        left ? (down ? LeftDownFlags : LeftUpFlags) : (down ? RightDownFlags : RightUpFlags);
    mouse_event(flags, 0, 0, 0, 0);
}

void InputWin32::focusLastForeignWindow() {
    const auto target = static_cast<HWND>(m_pointer->lastForeignWindow());
    if (!target || !IsWindow(target) || !IsWindowVisible(target) ||
        GetForegroundWindow() == target) {
        return; // nothing clicked, gone, or in front already
    }
    // When our window hides for the prompt, the system activates a window
    // of its choice, which need not be the one clicked: under Wine it was
    // the tray icon's. The keys go to the window in front when the system
    // takes them, so it has to be there first.
    SetForegroundWindow(target);
    // Typed all the same when it is late: the user chose the window and
    // sees where the text went.
    waitForForeground([target](HWND w) { return w == target; }, kFocusWaitMs);
}

bool InputWin32::waitForClickedWindow(void* clicked) {
    const auto root = static_cast<HWND>(clicked);
    if (!takesActivation(root)) {
        return true; // the press activates nothing: the keys go where they went before
    }
    // The press reaches the window's program through its queue, and that
    // program brings its window to the front only once it has read the
    // press; keys sent before would go to the program clicked before.
    if (waitForForeground([root](HWND w) { return leadsTo(w, root); }, kClickFocusWaitMs)) {
        return true;
    }
    // It did not come (a window manager that refused the request, a
    // program that activates itself late): ask for it, as a recording does.
    if (!IsWindow(root) || !IsWindowVisible(root)) {
        return true; // the press closed it: there is no better place
    }
    SetForegroundWindow(root);
    return waitForForeground([root](HWND w) { return leadsTo(w, root); }, kFocusWaitMs);
}

TypeReport InputWin32::typeText(std::string_view utf8) {
    const std::wstring text = widenUtf8(utf8);
    bool inFront = true;
    if (m_pointer && m_pointer->sampling()) {
        focusLastForeignWindow();
    } else if (m_clicked) {
        inFront = waitForClickedWindow(m_clicked);
    }
    m_clicked = nullptr;
    if (!inFront) {
        // Typed anyway, the text would go to another program.
        TypeReport report;
        report.skipped = static_cast<int>(text.size());
        return report;
    }
    return typeUnicode(text);
}

TypeReport InputWin32::typeUnicode(std::wstring_view text) {
    TypeReport report;
    if (text.empty()) {
        return report;
    }
    EndMark mark = beginEndMark();
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
    waitUntilTaken(mark, kTakeWaitMs + kTakeWaitPerCharMs * text.size());
    return report;
}

// SendInput only queues the keys: the receiving program reads them later,
// and until it has, a change of the window in front (ours shown again) can
// send the rest elsewhere. Attached to the receiver's input, this thread's
// GetKeyState reads the key state that follows what the receiver has read;
// a last key that means nothing toggles it when the receiver reads it, and
// so after every key before it.
InputWin32::EndMark InputWin32::beginEndMark() {
    EndMark mark;
    const DWORD own = GetCurrentThreadId();
    const DWORD receiver = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    // Our own thread reads its keys only once we return.
    if (receiver == 0 || receiver == own || !AttachThreadInput(own, receiver, TRUE)) {
        return mark;
    }
    mark.receiver = receiver;
    mark.toggled = (GetKeyState(kEndMarkKey) & 1) != 0;
    return mark;
}

bool InputWin32::waitUntilTaken(const EndMark& mark, ULONGLONG ms) {
    if (mark.receiver == 0) {
        return false;
    }
    INPUT keys[2] = {keyRecord(kEndMarkKey, 0, 0), keyRecord(kEndMarkKey, 0, KEYEVENTF_KEYUP)};
    bool taken = false;
    if (SendInput(2, keys, sizeof(INPUT)) == 2) {
        const ULONGLONG until = GetTickCount64() + ms;
        while (!(taken = ((GetKeyState(kEndMarkKey) & 1) != 0) != mark.toggled) &&
               GetTickCount64() < until) {
            Sleep(2);
        }
    }
    AttachThreadInput(GetCurrentThreadId(), mark.receiver, FALSE);
    return taken;
}

} // namespace pressmark::platform::win32
