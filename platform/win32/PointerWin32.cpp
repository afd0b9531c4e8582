#include "PointerWin32.h"

#include <windows.h>

namespace pressmark::platform::win32 {
namespace {

// The instance whose queue the hook fills. Only the user-interface thread
// reads or writes it.
PointerWin32* active = nullptr;

constexpr char degradedText[] = "Перехват мыши недоступен: щелчки короче 10 мс могут потеряться";

constexpr unsigned leftBit = 1;
constexpr unsigned rightBit = 2;

// How long the buttons may disagree with what the hook last saw before the
// hook is taken for removed. The system sets a button's state only after the
// hooks have had the event, so on a working hook they disagree only for the
// moment between the hook's call and the state's change; a button held well
// past that without the hook having seen it go down (or released without
// the hook having seen it go up) means the hook is no longer called.
constexpr ULONGLONG lostAfterMs = 200;

// The buttons down now, as the bits above. The physical buttons, where the
// hook reports the logical ones: callers compare only whether any is down,
// which swapping the buttons does not change.
unsigned buttonsDown() {
    return (GetAsyncKeyState(VK_LBUTTON) < 0 ? leftBit : 0u) |
           (GetAsyncKeyState(VK_RBUTTON) < 0 ? rightBit : 0u);
}

// Cheap enough for the hook procedure: a hit test and a look-up of the
// window's thread, no message to the window.
bool ownWindow(HWND window) {
    DWORD pid = 0;
    if (window) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid != 0 && pid == GetCurrentProcessId();
}

bool ownWindowAt(POINT p) {
    return ownWindow(WindowFromPoint(p));
}

} // namespace

PointerWin32::~PointerWin32() {
    unhook();
}

bool PointerWin32::noteWindowAt(Point p) {
    const HWND window = WindowFromPoint(POINT{p.x, p.y});
    const bool own = ownWindow(window);
    if (window && !own) {
        m_lastForeign = GetAncestor(window, GA_ROOT);
    }
    return own;
}

void PointerWin32::startSampling() {
    stopSampling();
    m_sampling = true;
    m_lastForeign = nullptr;
    m_lastLeft = 0;
    m_lastRight = 0;
    hook();
}

void PointerWin32::stopSampling() {
    unhook();
    m_queue.clear();
    m_sampling = false;
}

const char* PointerWin32::degradedReason() const {
    return m_sampling && !m_hook ? degradedText : nullptr;
}

bool PointerWin32::hook() {
    if (active) {
        return false;
    }
    m_hook = SetWindowsHookExW(WH_MOUSE_LL, &PointerWin32::hookProc, GetModuleHandleW(nullptr), 0);
    if (!m_hook) {
        return false;
    }
    active = this;
    m_buttonsSeen = buttonsDown();
    m_disagreeSince = 0;
    return true;
}

void PointerWin32::unhook() {
    if (m_hook) {
        UnhookWindowsHookEx(static_cast<HHOOK>(m_hook));
        m_hook = nullptr;
        active = nullptr;
    }
}

// Called on the installing thread while it retrieves messages, so it may
// touch the queue without a lock. It must return quickly: the system removes
// a low-level hook that keeps it waiting, without a word.
//
// Injected events are queued like any other. Under Wine the X server's
// events, xdotool's included, reach the hook as hardware input without
// LLMHF_INJECTED; what SendInput makes carries it. On Windows it marks
// presses from SendInput, which other programs use to click on the user's
// behalf, and those are presses the user wants recorded too.
std::intptr_t __stdcall PointerWin32::hookProc(int code, std::uintptr_t message,
                                               std::intptr_t data) {
    PointerWin32* self = active;
    if (code == HC_ACTION && self) {
        const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        const Point pos{static_cast<int>(event.pt.x), static_cast<int>(event.pt.y)};
        switch (message) {
        case WM_LBUTTONDOWN:
            self->m_queue.push_back({MouseButton::Left, pos, self->noteWindowAt(pos)});
            self->m_buttonsSeen |= leftBit;
            break;
        case WM_RBUTTONDOWN:
            self->m_queue.push_back({MouseButton::Right, pos, self->noteWindowAt(pos)});
            self->m_buttonsSeen |= rightBit;
            break;
        case WM_LBUTTONUP:
            self->m_buttonsSeen &= ~leftBit;
            break;
        case WM_RBUTTONUP:
            self->m_buttonsSeen &= ~rightBit;
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// Windows gives no notice when it removes a hook, so each tick compares the
// buttons with what the hook last saw. A press made while the hook was gone
// is not recovered; the hook is back for the next one.
void PointerWin32::rehookIfLost() {
    if ((buttonsDown() != 0) == (m_buttonsSeen != 0)) {
        m_disagreeSince = 0;
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (m_disagreeSince == 0) {
        m_disagreeSince = now;
        return;
    }
    if (now - m_disagreeSince >= lostAfterMs) {
        unhook();
        hook();
    }
}

std::vector<Press> PointerWin32::takePresses() {
    if (!m_sampling) {
        return {};
    }
    if (!m_hook) {
        return samplePresses();
    }
    rehookIfLost();
    std::vector<Press> presses;
    presses.swap(m_queue);
    return presses;
}

std::vector<Press> PointerWin32::samplePresses() {
    std::vector<Press> presses;
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
    const bool own = noteWindowAt(pos);
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
    return ownWindowAt(POINT{p.x, p.y});
}

} // namespace pressmark::platform::win32
