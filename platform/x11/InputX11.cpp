#include <QObject>

#include "InputX11.h"

#include "PointerX11.h"
#include "X11Util.h"
#include "base/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <unordered_map>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace pressmark::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// After a batch of remaps, the receiver needs a moment to fetch the new
// keymap before the first key event; the key events themselves queue behind
// the mapping notification, so one short pause per batch is enough.
constexpr std::chrono::milliseconds remapPause{10};

// How long typing waits for the user to let go of a modifier key (the Alt of
// Alt+Q) that only the user can release.
constexpr std::chrono::milliseconds userReleaseWait{1000};

int clampToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// The keysym a key gives in a group with a modifier state, by the XKB rules:
// out-of-range groups are wrapped, clamped or redirected as the key says, and
// the key type maps the modifiers it cares about to a level.
KeySym keysymAt(XkbDescPtr xkb, KeyCode code, int group, unsigned mods) {
    const int groups = XkbKeyNumGroups(xkb, code);
    if (groups == 0) {
        return NoSymbol;
    }
    if (group >= groups) {
        const unsigned info = XkbKeyGroupInfo(xkb, code);
        switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange:
            group = groups - 1;
            break;
        case XkbRedirectIntoRange:
            group = XkbOutOfRangeGroupNumber(info);
            if (group >= groups) {
                group = 0;
            }
            break;
        default:
            group %= groups;
        }
    }
    XkbKeyTypePtr type = XkbKeyKeyType(xkb, code, group);
    const unsigned relevant = mods & type->mods.mask;
    int level = 0;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& e = type->map[i];
        if (e.active && e.mods.mask == relevant) {
            level = e.level;
            break;
        }
    }
    if (level >= XkbKeyGroupWidth(xkb, code, group)) {
        return NoSymbol;
    }
    return XkbKeySymEntry(xkb, code, level, group);
}

bool hasNoSymbols(XkbDescPtr xkb, KeyCode code) {
    const int n = XkbKeyNumSyms(xkb, code);
    const KeySym* syms = XkbKeySymsPtr(xkb, code);
    for (int i = 0; i < n; ++i) {
        if (syms[i] != NoSymbol) {
            return false;
        }
    }
    return true;
}

// The keysym to put on a spare keycode for a character, or NoSymbol when no
// key can produce it (control characters without a key of their own, and
// the 1251 byte 0x98 that stands for no character).
KeySym keysymForCharacter(char32_t ch) {
    if (ch == 0xFFFD) {
        return NoSymbol;
    }
    const xkb_keysym_t ks = xkb_utf32_to_keysym(ch);
    const bool control = ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
    if (control && (ks & 0xFF000000u) == 0x01000000u) {
        return NoSymbol;
    }
    return ks;
}

// A window named by a window-valued property of w; 0 when there is none.
Window windowProperty(Display* dpy, Window w, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    Window value = 0;
    if (XGetWindowProperty(dpy, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1) {
        value = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data) {
        XFree(data);
    }
    return value;
}

// Whether a running window manager takes activation requests. The check
// window must name itself: a window manager that has quit leaves a stale
// root property behind.
bool activationSupported(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    const Window wm = windowProperty(dpy, root, check);
    if (wm == 0 || windowProperty(dpy, wm, check) != wm) {
        return false;
    }
    const Atom active = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool supported = false;
    if (XGetWindowProperty(dpy, root, XInternAtom(dpy, "_NET_SUPPORTED", False), 0, 4096, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const unsigned long*>(data);
        supported = std::find(atoms, atoms + count, active) != atoms + count;
    }
    if (data) {
        XFree(data);
    }
    return supported;
}

bool isViewable(Display* dpy, Window w) {
    XWindowAttributes attrs{};
    return XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable;
}

// The root window property that records what this process borrowed: one
// per process, named by its id and host, holding (keycode, level 1 keysym,
// level 2 keysym) triples. It lives as long as the X session, as the
// keyboard mapping it describes does.
constexpr const char* borrowedPrefix = "_PRESSMARK_SPARES_";

std::string hostName() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return host;
}

// While one is alive, the property under our own id is its record.
int liveInputs = 0;

// "@host"; built by appending (GCC 12 at -O3 warns wrongly about a
// concatenation onto a literal).
std::string hostSuffix() {
    std::string suffix(1, '@');
    suffix.append(hostName());
    return suffix;
}

std::string borrowedPropertyName(pid_t pid) {
    std::string name(borrowedPrefix);
    name.append(std::to_string(pid)).append(hostSuffix());
    return name;
}

} // namespace

InputX11::InputX11(Display* dpy) : m_dpy(dpy) {
    m_restoreTimer.setSingleShot(true);
    QObject::connect(&m_restoreTimer, &QTimer::timeout, [this] { restoreSpareKeys(); });
    if (liveInputs++ == 0) {
        restoreLeftBehind(dpy);
    }
}

void InputX11::restoreLeftBehind(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    int count = 0;
    Atom* atoms = XListProperties(dpy, root, &count);
    const std::string suffix = hostSuffix();
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(dpy, atoms[i]);
        if (!name) {
            continue;
        }
        const std::string n = name;
        XFree(name);
        if (n.rfind(borrowedPrefix, 0) != 0 || n.size() <= suffix.size() ||
            n.compare(n.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue; // not ours, or another host's (whose processes we cannot see)
        }
        const std::string pidText = n.substr(
            std::strlen(borrowedPrefix), n.size() - suffix.size() - std::strlen(borrowedPrefix));
        char* end = nullptr;
        const long pid = std::strtol(pidText.c_str(), &end, 10);
        if (pidText.empty() || *end != '\0' || pid <= 0) {
            continue;
        }
        // Our own id can only be a dead run's that had it before us (ids are
        // reused, in a container at every start).
        const bool gone =
            pid == getpid() || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        if (!gone) {
            continue; // still running, and perhaps typing right now
        }
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, root, atoms[i], 0, 3 * 256, True, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data && type == XA_CARDINAL && format == 32) {
            const auto* v = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long k = 0; k + 2 < items; k += 3) {
                const auto code = static_cast<KeyCode>(v[k]);
                int per = 0;
                KeySym* now = XGetKeyboardMapping(dpy, code, 1, &per);
                // Only where it still carries what the dead run put there: a
                // layout loaded since then owns the key now.
                const bool ours = now && per >= 2 && now[0] == v[k + 1] && now[1] == v[k + 2];
                if (now) {
                    XFree(now);
                }
                if (ours) {
                    KeySym none[2] = {NoSymbol, NoSymbol};
                    XChangeKeyboardMapping(dpy, code, 2, none, 1);
                    changed = true;
                }
            }
        }
        if (data) {
            XFree(data);
        }
        XDeleteProperty(dpy, root, atoms[i]);
        changed = true;
    }
    if (atoms) {
        XFree(atoms);
    }
    if (changed) {
        XSync(dpy, False);
    }
}

void InputX11::recordBorrowed() {
    static const std::string name = borrowedPropertyName(getpid());
    const Atom atom = XInternAtom(m_dpy, name.c_str(), False);
    std::vector<unsigned long> triples;
    for (const auto& [code, spare] : m_spares) {
        if (spare.borrowed()) {
            triples.push_back(code);
            triples.push_back(spare.mapped[0]);
            triples.push_back(spare.mapped[1] != NoSymbol ? spare.mapped[1] : spare.mapped[0]);
        }
    }
    if (triples.empty()) {
        XDeleteProperty(m_dpy, DefaultRootWindow(m_dpy), atom);
        return;
    }
    XChangeProperty(m_dpy, DefaultRootWindow(m_dpy), atom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(triples.data()),
                    static_cast<int>(triples.size()));
}

InputX11::~InputX11() {
    --liveInputs;
    restoreSpareKeys();
    if (m_timeDpy) {
        XCloseDisplay(m_timeDpy);
    }
}

Time InputX11::serverTime() {
    // A zero-length append to a property of a window of ours: the server
    // stamps the notification with its current time.
    if (!m_timeDpy) {
        m_timeDpy = XOpenDisplay(DisplayString(m_dpy));
        if (!m_timeDpy) {
            return CurrentTime;
        }
        XSetWindowAttributes attrs{};
        attrs.event_mask = PropertyChangeMask;
        m_timeWin = XCreateWindow(m_timeDpy, DefaultRootWindow(m_timeDpy), -1, -1, 1, 1, 0, 0,
                                  InputOnly, CopyFromParent, CWEventMask, &attrs);
    }
    static const unsigned char nothing[1] = {0};
    XChangeProperty(m_timeDpy, m_timeWin, XInternAtom(m_timeDpy, "_PRESSMARK_TIME", False),
                    XA_STRING, 8, PropModeAppend, nothing, 0);
    XEvent ev{};
    XWindowEvent(m_timeDpy, m_timeWin, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

void InputX11::focusLastForeignWindow() {
    if (!m_pointer) {
        return;
    }
    const Window target = m_pointer->lastForeignWindow();
    if (target == 0) {
        return; // no foreign press yet: the focus is wherever the user put it
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &focus, &revert);
    if (focus != None && focus != PointerRoot && !m_pointer->isOwnWindow(focus)) {
        return; // another program has it: the user chose it
    }
    const bool wm = activationSupported(m_dpy);
    // Without a window manager only a mapped window can take the focus; a
    // window manager may restore an iconified one.
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(m_dpy, target, &attrs) || (!wm && attrs.map_state != IsViewable)) {
        return; // closed or hidden since the press
    }
    const Atom activeWindow = XInternAtom(m_dpy, "_NET_ACTIVE_WINDOW", False);
    // Through the window manager when there is one: it also raises or
    // restores the window, and it handles our request after the events it
    // still has queued (our prompt's closing), so that its own focus choice
    // for those cannot undo ours. Source 2: a request on the user's behalf,
    // which focus stealing prevention lets through.
    if (wm) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = target;
        ev.xclient.message_type = activeWindow;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 2;
        ev.xclient.data.l[1] = static_cast<long>(serverTime());
        ev.xclient.data.l[2] = 0;
        XSendEvent(m_dpy, DefaultRootWindow(m_dpy), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    } else {
        XSetInputFocus(m_dpy, target, RevertToPointerRoot, serverTime());
    }
    XSync(m_dpy, False);

    // Keys sent before the focus arrives would go to the old place: wait for
    // it, a bounded time. A window manager is also given the time to catch
    // up (it names the window active once it has handled everything queued
    // before), so that a late focus choice of its own does not move the
    // focus away while we type. openbox, still busy with our prompt's
    // closing, took 150 to 450 ms for the request here; halfway through, the
    // focus is set directly.
    const auto start = Clock::now();
    bool forced = !wm;
    for (;;) {
        XGetInputFocus(m_dpy, &focus, &revert);
        const bool focused =
            focus != None && focus != PointerRoot && isWithin(m_dpy, focus, target);
        if (focused &&
            (!wm || windowProperty(m_dpy, DefaultRootWindow(m_dpy), activeWindow) == target)) {
            return;
        }
        const auto waited = Clock::now() - start;
        if (waited >= focusWait) {
            return;
        }
        if (!focused && !forced && waited >= focusWait / 2 && isViewable(m_dpy, target)) {
            forced = true;
            XSetInputFocus(m_dpy, target, RevertToPointerRoot, serverTime());
            XSync(m_dpy, False);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void InputX11::waitForFocusAfterClick(Window rootLevel) {
    // A click on another program moves the focus there only once the window
    // manager has handled it; keys sent before would still go to the program
    // clicked before. Nothing to wait for when the window cannot take the
    // focus: a menu or tooltip (override-redirect), or a client that asks
    // never to be given the input.
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(m_dpy, rootLevel, &attrs) || attrs.map_state != IsViewable) {
        return;
    }
    // Window managers may make their frames override-redirect too: only a
    // root-level window with no managed client inside is a menu.
    const Window client = clientWindowOf(m_dpy, rootLevel);
    if (client == rootLevel && attrs.override_redirect) {
        return;
    }
    if (m_pointer && m_pointer->isOwnWindow(client)) {
        return;
    }
    if (XWMHints* hints = XGetWMHints(m_dpy, client)) {
        const bool refuses = (hints->flags & InputHint) && !hints->input;
        XFree(hints);
        if (refuses) {
            Atom* protocols = nullptr;
            int count = 0;
            bool takesFocus = false;
            if (XGetWMProtocols(m_dpy, client, &protocols, &count)) {
                const Atom take = XInternAtom(m_dpy, "WM_TAKE_FOCUS", False);
                takesFocus = std::find(protocols, protocols + count, take) != protocols + count;
                XFree(protocols);
            }
            if (!takesFocus) {
                return;
            }
        }
    }
    const auto until = Clock::now() + clickFocusWait;
    for (;;) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_dpy, &focus, &revert);
        if ((focus != None && focus != PointerRoot && isWithin(m_dpy, focus, rootLevel)) ||
            Clock::now() >= until) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

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

void InputX11::refreshSpares(const std::vector<KeyCode>& empty) {
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    for (auto it = m_spares.begin(); it != m_spares.end();) {
        const bool isEmpty = std::find(empty.begin(), empty.end(), it->first) != empty.end();
        const Spare& sp = it->second;
        if (isEmpty) {
            it->second = Spare{{NoSymbol, NoSymbol}, sp.lastUse};
            ++it;
        } else if (sp.borrowed() && xkb && keysymAt(xkb, it->first, 0, 0) == sp.mapped[0] &&
                   keysymAt(xkb, it->first, 0, ShiftMask) ==
                       (sp.mapped[1] ? sp.mapped[1] : sp.mapped[0])) {
            ++it; // still carries the characters we gave it
        } else {
            it = m_spares.erase(it); // someone else mapped it (a layout switch)
        }
    }
    for (KeyCode code : empty) {
        m_spares.try_emplace(code);
    }
    if (xkb) {
        XkbFreeKeyboard(xkb, 0, True);
    }
}

std::optional<KeyCode> InputX11::pickSpare(const std::vector<KeyCode>& pinned) const {
    std::optional<KeyCode> best;
    // Free keycodes first, the highest first (low spare codes such as 8 are
    // the ones other tools reach for); then the one idle the longest.
    for (auto it = m_spares.rbegin(); it != m_spares.rend(); ++it) {
        if (std::find(pinned.begin(), pinned.end(), it->first) != pinned.end()) {
            continue;
        }
        if (!it->second.borrowed()) {
            return it->first;
        }
        if (!best || it->second.lastUse < m_spares.at(*best).lastUse) {
            best = it->first;
        }
    }
    return best;
}

void InputX11::waitUntilIdle(KeyCode code) {
    const auto it = m_spares.find(code);
    if (it == m_spares.end()) {
        return;
    }
    const auto ready = it->second.lastUse + m_settle;
    const auto now = Clock::now();
    if (ready > now) {
        std::this_thread::sleep_for(ready - now);
    }
}

void InputX11::remap(KeyCode code, const KeySym (&syms)[2]) {
    // A lone character goes on both levels, so that Shift cannot miss it.
    KeySym both[2] = {syms[0], syms[1] != NoSymbol ? syms[1] : syms[0]};
    XChangeKeyboardMapping(m_dpy, code, 2, both, 1);
}

void InputX11::tap(const Stroke& s, KeyCode shiftCode) {
    const bool shift = s.shift && shiftCode != 0;
    if (shift) {
        XTestFakeKeyEvent(m_dpy, shiftCode, True, CurrentTime);
    }
    XTestFakeKeyEvent(m_dpy, s.code, True, CurrentTime);
    XTestFakeKeyEvent(m_dpy, s.code, False, CurrentTime);
    if (shift) {
        XTestFakeKeyEvent(m_dpy, shiftCode, False, CurrentTime);
    }
    XFlush(m_dpy);
    if (auto it = m_spares.find(s.code); it != m_spares.end()) {
        it->second.lastUse = Clock::now();
    }
}

TypeReport InputX11::typeText(std::string_view cp1251) {
    TypeReport report;
    if (cp1251.empty()) {
        return report;
    }
    m_restoreTimer.stop();
    if (m_pointer && m_pointer->sampling()) {
        focusLastForeignWindow();
    } else if (m_clicked != 0) {
        waitForFocusAfterClick(m_clicked);
    }
    m_clicked = 0;

    XkbStateRec state{};
    XkbGetState(m_dpy, XkbUseCoreKbd, &state);
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) {
        report.skipped = static_cast<int>(cp1251.size());
        return report;
    }

    // The state while typing: Caps Lock off, no modifier key held; the other
    // locks (Num Lock) stay as they are and take part in the level choice.
    const unsigned locks = state.locked_mods & ~static_cast<unsigned>(LockMask);
    std::vector<KeyCode> empty;
    for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
        if (hasNoSymbols(xkb, static_cast<KeyCode>(code))) {
            empty.push_back(static_cast<KeyCode>(code));
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    refreshSpares(empty);

    xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) {
        report.skipped = static_cast<int>(cp1251.size());
        return report;
    }
    std::unordered_map<char32_t, Stroke> direct;
    for (const bool shift : {false, true}) {
        const unsigned mods = locks | (shift ? ShiftMask : 0);
        for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
            const auto kc = static_cast<KeyCode>(code);
            if (m_spares.count(kc)) {
                continue;
            }
            const KeySym ks = keysymAt(xkb, kc, state.group, mods);
            const char32_t ch =
                ks == NoSymbol ? 0 : xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(ks));
            if (ch != 0) {
                direct.try_emplace(ch, Stroke{kc, shift});
            }
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    const KeyCode shiftCode = XKeysymToKeycode(m_dpy, XK_Shift_L);

    // Release the modifier keys still held (Ctrl or Alt of a hot key) and
    // unlock Caps Lock; both come back afterwards. XTest can only release
    // what XTest pressed: a modifier the user still holds on the real
    // keyboard is waited for a moment, and never pressed again by us.
    std::vector<KeyCode> modifierKeys;
    if (XModifierKeymap* mm = XGetModifierMapping(m_dpy)) {
        for (int i = 0; i < 8 * mm->max_keypermod; ++i) {
            const KeyCode kc = mm->modifiermap[i];
            if (kc != 0 &&
                std::find(modifierKeys.begin(), modifierKeys.end(), kc) == modifierKeys.end()) {
                modifierKeys.push_back(kc);
            }
        }
        XFreeModifiermap(mm);
    }
    const auto heldModifiers = [&] {
        char keys[32];
        XQueryKeymap(m_dpy, keys);
        std::vector<KeyCode> down;
        for (KeyCode kc : modifierKeys) {
            if (keys[kc / 8] & (1 << (kc % 8))) {
                down.push_back(kc);
            }
        }
        return down;
    };
    const std::vector<KeyCode> heldBefore = heldModifiers();
    for (KeyCode kc : heldBefore) {
        XTestFakeKeyEvent(m_dpy, kc, False, CurrentTime);
    }
    XSync(m_dpy, False);
    // What went up at once was XTest's; what is still down is the user's.
    const std::vector<KeyCode> usersKeys = heldModifiers();
    std::vector<KeyCode> held; // ours, to press again afterwards
    for (KeyCode kc : heldBefore) {
        if (std::find(usersKeys.begin(), usersKeys.end(), kc) == usersKeys.end()) {
            held.push_back(kc);
        }
    }
    const auto until = Clock::now() + userReleaseWait;
    for (auto down = usersKeys; !down.empty() && Clock::now() < until; down = heldModifiers()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool capsLocked = (state.locked_mods & LockMask) != 0;
    if (capsLocked) {
        XkbLockModifiers(m_dpy, XkbUseCoreKbd, LockMask, 0);
    }

    const std::u32string chars = utf8::decode(cp1251);

    std::size_t pos = 0;
    while (pos < chars.size()) {
        std::vector<std::optional<Stroke>> strokes;
        std::vector<KeyCode> pinned;
        std::vector<KeyCode> remaps;
        std::size_t end = pos;
        for (; end < chars.size(); ++end) {
            const char32_t ch = chars[end];
            if (auto it = direct.find(ch); it != direct.end()) {
                strokes.emplace_back(it->second);
                continue;
            }
            const KeySym ks = keysymForCharacter(ch);
            if (ks == NoSymbol || m_spares.empty()) {
                strokes.emplace_back(std::nullopt);
                continue;
            }
            std::optional<Stroke> stroke;
            for (const auto& [kc, sp] : m_spares) {
                if (sp.mapped[0] == ks || sp.mapped[1] == ks) {
                    stroke = Stroke{kc, sp.mapped[0] != ks};
                    break;
                }
            }
            // A spare remapped in this batch anyway takes a second character
            // on its free level 2 at no extra cost.
            for (KeyCode kc : remaps) {
                if (!stroke && m_spares[kc].mapped[1] == NoSymbol) {
                    m_spares[kc].mapped[1] = ks;
                    stroke = Stroke{kc, true};
                }
            }
            if (!stroke) {
                const std::optional<KeyCode> code = pickSpare(pinned);
                if (!code) {
                    break; // every spare holds characters of this batch
                }
                remaps.push_back(*code);
                m_spares[*code].mapped[0] = ks;
                m_spares[*code].mapped[1] = NoSymbol;
                stroke = Stroke{*code, false};
            }
            if (std::find(pinned.begin(), pinned.end(), stroke->code) == pinned.end()) {
                pinned.push_back(stroke->code);
            }
            strokes.emplace_back(stroke);
        }
        for (KeyCode code : remaps) {
            waitUntilIdle(code);
            remap(code, m_spares[code].mapped);
        }
        if (!remaps.empty()) {
            // Sent in the same flush as the remaps it describes.
            recordBorrowed();
            XSync(m_dpy, False);
            std::this_thread::sleep_for(remapPause);
        }
        for (const auto& s : strokes) {
            if (s) {
                tap(*s, shiftCode);
                ++report.typed;
            } else {
                ++report.skipped;
            }
        }
        pos = end;
    }

    if (capsLocked) {
        XkbLockModifiers(m_dpy, XkbUseCoreKbd, LockMask, LockMask);
    }
    for (KeyCode kc : held) {
        XTestFakeKeyEvent(m_dpy, kc, True, CurrentTime);
    }
    XSync(m_dpy, False);
    const bool borrowed = std::any_of(m_spares.begin(), m_spares.end(),
                                      [](const auto& s) { return s.second.borrowed(); });
    if (borrowed) {
        m_restoreTimer.start(m_settle + std::chrono::milliseconds(50));
    }
    return report;
}

void InputX11::restoreSpareKeys() {
    m_restoreTimer.stop();
    bool changed = false;
    for (auto& [code, spare] : m_spares) {
        if (!spare.borrowed()) {
            continue;
        }
        waitUntilIdle(code);
        spare.mapped[0] = spare.mapped[1] = NoSymbol;
        remap(code, spare.mapped);
        changed = true;
    }
    if (changed) {
        recordBorrowed();
        XSync(m_dpy, False);
    }
}

} // namespace pressmark::platform::x11
