#include <QObject>

#include "InputX11.h"

#include "X11Util.h"
#include "base/Utf8.h"

#include <algorithm>
#include <limits>
#include <thread>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace pressmark::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// How long typing waits for the user to let go of a modifier key (the Alt of
// Alt+Q) that only the user can release.
constexpr std::chrono::milliseconds userReleaseWait{1000};

int clampToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// Every keycode that the modifier map names, once.
std::vector<KeyCode> modifierKeycodes(Display* dpy) {
    std::vector<KeyCode> codes;
    if (XModifierKeymap* mm = XGetModifierMapping(dpy)) {
        for (int i = 0; i < 8 * mm->max_keypermod; ++i) {
            const KeyCode kc = mm->modifiermap[i];
            if (kc != 0 && std::find(codes.begin(), codes.end(), kc) == codes.end()) {
                codes.push_back(kc);
            }
        }
        XFreeModifiermap(mm);
    }
    return codes;
}

// Those of keys that are down now.
std::vector<KeyCode> keysDown(Display* dpy, const std::vector<KeyCode>& keys) {
    char state[32];
    XQueryKeymap(dpy, state);
    std::vector<KeyCode> down;
    for (KeyCode kc : keys) {
        if (state[kc / 8] & (1 << (kc % 8))) {
            down.push_back(kc);
        }
    }
    return down;
}

} // namespace

InputX11::InputX11(Display* dpy) : m_dpy(dpy), m_spares(dpy), m_focus(dpy) {
    m_restoreTimer.setSingleShot(true);
    QObject::connect(&m_restoreTimer, &QTimer::timeout, [this] { restoreSpareKeys(); });
}

InputX11::~InputX11() = default;

void InputX11::moveTo(std::int32_t nx, std::int32_t ny) {
    const Rect primary = primaryMonitor(m_dpy);
    const int x = clampToInt(primary.x + normalizedToPixel(nx, primary.width));
    const int y = clampToInt(primary.y + normalizedToPixel(ny, primary.height));
    XTestFakeMotionEvent(m_dpy, DefaultScreen(m_dpy), x, y, CurrentTime);
    waitForPointerAt(x, y);
}

void InputX11::waitForPointerAt(int x, int y) {
    // While a window manager handles a click it may freeze the pointer
    // (a synchronous button grab): the motion waits in the server's queue,
    // and a press sent meanwhile could be delivered before it, at the old
    // position. So the press waits until the server has moved the pointer.
    // Without a freeze the first query already sees it there: the query's
    // round trip is the whole cost. The server keeps the pointer on the
    // screen, so a point beyond an edge is awaited at the edge.
    const Window root = DefaultRootWindow(m_dpy);
    const int wantX = std::clamp(x, 0, DisplayWidth(m_dpy, DefaultScreen(m_dpy)) - 1);
    const int wantY = std::clamp(y, 0, DisplayHeight(m_dpy, DefaultScreen(m_dpy)) - 1);
    const auto until = Clock::now() + pointerWait;
    for (int polls = 0;; ++polls) {
        Window rootRet = 0;
        Window child = 0;
        int rx = 0;
        int ry = 0;
        int wx = 0;
        int wy = 0;
        unsigned mask = 0;
        if (!XQueryPointer(m_dpy, root, &rootRet, &child, &rx, &ry, &wx, &wy, &mask)) {
            return;
        }
        m_underPointer = child;
        if ((rx == wantX && ry == wantY) || Clock::now() >= until) {
            return;
        }
        if (polls >= 10) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
}

void InputX11::button(MouseButton which, bool down) {
    if (down) {
        m_clicked = m_underPointer;
    }
    XTestFakeButtonEvent(m_dpy, which == MouseButton::Left ? 1 : 3, down ? True : False,
                         CurrentTime);
    XFlush(m_dpy);
}

TypeReport InputX11::typeText(std::string_view text) {
    return typeCodePoints(utf8::decode(text));
}

TypeReport InputX11::typeCodePoints(const std::u32string& chars) {
    TypeReport report;
    if (chars.empty()) {
        return report;
    }
    m_restoreTimer.stop();
    m_focus.beforeTyping(m_clicked);
    m_clicked = 0;
    const std::optional<Layout> layout = readLayout();
    if (!layout) {
        report.skipped = static_cast<int>(chars.size());
        return report;
    }
    const std::vector<KeyCode> held = liftHeldKeys(layout->capsLocked);
    typeRuns(chars, *layout, report);
    putBackHeldKeys(held, layout->capsLocked);
    if (m_spares.anyLent()) {
        m_restoreTimer.start(m_spares.settleTime() + std::chrono::milliseconds(50));
    }
    return report;
}

std::optional<InputX11::Layout> InputX11::readLayout() {
    XkbStateRec state{};
    XkbGetState(m_dpy, XkbUseCoreKbd, &state);
    m_spares.refresh();
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) {
        return std::nullopt;
    }
    Layout layout;
    // The state while typing: Caps Lock off, no modifier key held; the other
    // locks (Num Lock) stay as they are and take part in the level choice.
    const unsigned locks = state.locked_mods & ~static_cast<unsigned>(LockMask);
    for (const bool shift : {false, true}) {
        const unsigned mods = locks | (shift ? ShiftMask : 0);
        for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
            const auto kc = static_cast<KeyCode>(code);
            if (m_spares.isSpare(kc)) {
                continue;
            }
            const KeySym ks = keysymAt(xkb, kc, state.group, mods);
            const char32_t ch =
                ks == NoSymbol ? 0 : xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(ks));
            if (ch != 0) {
                layout.direct.try_emplace(ch, Stroke{kc, shift});
            }
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    layout.shiftCode = XKeysymToKeycode(m_dpy, XK_Shift_L);
    layout.capsLocked = (state.locked_mods & LockMask) != 0;
    layout.lockedGroup = state.locked_group;
    return layout;
}

std::vector<KeyCode> InputX11::liftHeldKeys(bool capsLocked) {
    // Release the modifier keys still held (Ctrl or Alt of a hot key) and
    // unlock Caps Lock. XTest can only release what XTest pressed: a
    // modifier the user still holds on the real keyboard is waited for a
    // moment, and never pressed again by us.
    const std::vector<KeyCode> modifiers = modifierKeycodes(m_dpy);
    const std::vector<KeyCode> heldBefore = keysDown(m_dpy, modifiers);
    for (KeyCode kc : heldBefore) {
        XTestFakeKeyEvent(m_dpy, kc, False, CurrentTime);
    }
    XSync(m_dpy, False);
    // What went up at once was XTest's; what is still down is the user's.
    const std::vector<KeyCode> usersKeys = keysDown(m_dpy, modifiers);
    std::vector<KeyCode> held; // ours, to press again afterwards
    for (KeyCode kc : heldBefore) {
        if (std::find(usersKeys.begin(), usersKeys.end(), kc) == usersKeys.end()) {
            held.push_back(kc);
        }
    }
    const auto until = Clock::now() + userReleaseWait;
    for (bool down = !usersKeys.empty(); down && Clock::now() < until;
         down = !keysDown(m_dpy, modifiers).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (capsLocked) {
        XkbLockModifiers(m_dpy, XkbUseCoreKbd, LockMask, 0);
    }
    return held;
}

void InputX11::putBackHeldKeys(const std::vector<KeyCode>& held, bool capsLocked) {
    if (capsLocked) {
        XkbLockModifiers(m_dpy, XkbUseCoreKbd, LockMask, LockMask);
    }
    for (KeyCode kc : held) {
        XTestFakeKeyEvent(m_dpy, kc, True, CurrentTime);
    }
    XSync(m_dpy, False);
}

void InputX11::typeRuns(const std::u32string& chars, const Layout& layout, TypeReport& report) {
    const auto direct = [&](char32_t ch) -> std::optional<Stroke> {
        const auto it = layout.direct.find(ch);
        return it != layout.direct.end() ? std::optional<Stroke>(it->second) : std::nullopt;
    };
    int group = layout.lockedGroup;
    for (std::size_t pos = 0; pos < chars.size();) {
        const SpareKeys::Run run = m_spares.planRun(chars, pos, direct);
        if (run.strokes.empty()) {
            report.skipped += static_cast<int>(chars.size() - pos);
            break;
        }
        m_spares.lend(run.remapped);
        for (const std::optional<Stroke>& s : run.strokes) {
            if (s) {
                tap(*s, layout, group);
                ++report.typed;
            } else {
                ++report.skipped;
            }
        }
        pos += run.strokes.size();
    }
    if (group != layout.lockedGroup) {
        XkbLockGroup(m_dpy, XkbUseCoreKbd, static_cast<unsigned>(layout.lockedGroup));
    }
}

void InputX11::tap(const Stroke& s, const Layout& layout, int& group) {
    // A spare's character of another group than the user's is typed with its
    // group locked; the user's own keys with the user's group.
    const int wanted = s.group >= 0 ? s.group : layout.lockedGroup;
    if (wanted != group) {
        XkbLockGroup(m_dpy, XkbUseCoreKbd, static_cast<unsigned>(wanted));
        group = wanted;
    }
    const bool shift = s.shift && layout.shiftCode != 0;
    if (shift) {
        XTestFakeKeyEvent(m_dpy, layout.shiftCode, True, CurrentTime);
    }
    XTestFakeKeyEvent(m_dpy, s.code, True, CurrentTime);
    XTestFakeKeyEvent(m_dpy, s.code, False, CurrentTime);
    if (shift) {
        XTestFakeKeyEvent(m_dpy, layout.shiftCode, False, CurrentTime);
    }
    XFlush(m_dpy);
    m_spares.pressed(s.code);
}

void InputX11::restoreSpareKeys() {
    m_restoreTimer.stop();
    m_spares.restore();
}

} // namespace pressmark::platform::x11
