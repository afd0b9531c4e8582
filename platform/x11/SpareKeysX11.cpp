#include "SpareKeysX11.h"

#include "X11Util.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <xkbcommon/xkbcommon.h>

namespace pressmark::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// After a remap, the receiver needs a moment to fetch the new keymap before
// the first key event; the key events themselves queue behind the mapping
// notification, so one short pause per run is enough.
constexpr std::chrono::milliseconds remapPause{10};

// The stroke for a spare's slot (see Spare::syms).
Stroke strokeAt(KeyCode code, int slot) {
    return Stroke{code, slot % 2 == 1, slot / 2};
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

SpareKeys::SpareKeys(Display* dpy) : m_dpy(dpy) {
    if (liveInputs++ == 0) {
        restoreLeftBehind(dpy);
    }
}

SpareKeys::~SpareKeys() {
    --liveInputs;
    restore();
}

void SpareKeys::restoreLeftBehind(Display* dpy) {
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

void SpareKeys::recordLent() {
    static const std::string name = borrowedPropertyName(getpid());
    const Atom atom = XInternAtom(m_dpy, name.c_str(), False);
    std::vector<unsigned long> triples;
    for (const auto& [code, spare] : m_spares) {
        if (spare.lent()) {
            triples.push_back(code);
            triples.push_back(spare.syms[0]);
            triples.push_back(spare.syms[1] != NoSymbol ? spare.syms[1] : spare.syms[0]);
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

void SpareKeys::refresh() {
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) {
        m_spares.clear();
        return;
    }
    std::vector<KeyCode> empty;
    for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
        if (hasNoSymbols(xkb, static_cast<KeyCode>(code))) {
            empty.push_back(static_cast<KeyCode>(code));
        }
    }
    for (auto it = m_spares.begin(); it != m_spares.end();) {
        Spare& sp = it->second;
        if (std::find(empty.begin(), empty.end(), it->first) != empty.end()) {
            sp.syms.fill(NoSymbol);
            ++it;
        } else if (sp.lent() && keysymAt(xkb, it->first, 0, 0) == sp.syms[0] &&
                   keysymAt(xkb, it->first, 0, ShiftMask) ==
                       (sp.syms[1] ? sp.syms[1] : sp.syms[0])) {
            ++it; // still carries the characters we gave it
        } else {
            it = m_spares.erase(it); // someone else mapped it (a layout switch)
        }
    }
    for (KeyCode code : empty) {
        m_spares.try_emplace(code);
    }
    XkbFreeKeyboard(xkb, 0, True);
}

bool SpareKeys::anyLent() const {
    return std::any_of(m_spares.begin(), m_spares.end(),
                       [](const auto& s) { return s.second.lent(); });
}

std::optional<KeyCode> SpareKeys::pickSpare(const std::vector<KeyCode>& pinned) const {
    std::optional<KeyCode> best;
    // Free keycodes first, the highest first (low spare codes such as 8 are
    // the ones other tools reach for); then the one idle the longest.
    for (auto it = m_spares.rbegin(); it != m_spares.rend(); ++it) {
        if (std::find(pinned.begin(), pinned.end(), it->first) != pinned.end()) {
            continue;
        }
        if (!it->second.lent()) {
            return it->first;
        }
        if (!best || it->second.lastUse < m_spares.at(*best).lastUse) {
            best = it->first;
        }
    }
    return best;
}

SpareKeys::Run SpareKeys::planRun(const std::u32string& chars, std::size_t from,
                                  const std::function<std::optional<Stroke>(char32_t)>& direct) {
    Run run;
    std::vector<KeyCode> pinned; // the spares this run presses
    for (std::size_t i = from; i < chars.size(); ++i) {
        const char32_t ch = chars[i];
        if (const std::optional<Stroke> d = direct(ch)) {
            run.strokes.push_back(d);
            continue;
        }
        const KeySym ks = keysymForCharacter(ch);
        if (ks == NoSymbol || m_spares.empty()) {
            run.strokes.emplace_back(std::nullopt);
            continue;
        }
        std::optional<Stroke> stroke;
        for (const auto& [kc, sp] : m_spares) {
            const auto slot = std::find(sp.syms.begin(), sp.syms.end(), ks);
            if (slot != sp.syms.end()) {
                stroke = strokeAt(kc, static_cast<int>(slot - sp.syms.begin()));
                break;
            }
        }
        // A spare remapped for this run anyway takes more characters on its
        // free levels and groups at no extra cost.
        for (KeyCode kc : run.remapped) {
            auto& syms = m_spares[kc].syms;
            const auto slot = std::find(syms.begin(), syms.end(), NoSymbol);
            if (!stroke && slot != syms.end()) {
                *slot = ks;
                stroke = strokeAt(kc, static_cast<int>(slot - syms.begin()));
            }
        }
        if (!stroke) {
            const std::optional<KeyCode> code = pickSpare(pinned);
            if (!code) {
                break; // every spare holds characters of this run
            }
            run.remapped.push_back(*code);
            m_spares[*code].syms.fill(NoSymbol);
            m_spares[*code].syms[0] = ks;
            stroke = strokeAt(*code, 0);
        }
        if (std::find(pinned.begin(), pinned.end(), stroke->code) == pinned.end()) {
            pinned.push_back(stroke->code);
        }
        run.strokes.push_back(stroke);
    }
    return run;
}

void SpareKeys::waitUntilSafe(const std::vector<KeyCode>& codes) const {
    Clock::time_point lastUse{};
    for (KeyCode code : codes) {
        lastUse = std::max(lastUse, m_spares.at(code).lastUse);
    }
    std::this_thread::sleep_until(lastUse + m_settle);
}

void SpareKeys::sendMapping(const std::vector<KeyCode>& codes) {
    // One request for all of them, so that clients read the keymap once: the
    // XKB map of the whole span between them, the keys in between sent back
    // as they are.
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) {
        return;
    }
    int first = xkb->max_key_code;
    int last = xkb->min_key_code;
    XkbMapChangesRec unused{};
    for (KeyCode code : codes) {
        const Spare& sp = m_spares.at(code);
        int types[XkbNumKbdGroups] = {XkbTwoLevelIndex, XkbTwoLevelIndex, XkbTwoLevelIndex,
                                      XkbTwoLevelIndex};
        const int groups = sp.groups();
        if (XkbChangeTypesOfKey(xkb, code, groups, XkbAllGroupsMask, types, &unused) != Success) {
            continue;
        }
        KeySym* syms = XkbKeySymsPtr(xkb, code);
        const int width = XkbKeyGroupsWidth(xkb, code);
        for (int g = 0; g < groups && width >= 2; ++g) {
            // A lone character goes on both levels, so that Shift cannot miss it.
            const KeySym level1 = sp.syms[2 * g];
            const KeySym level2 = sp.syms[2 * g + 1];
            syms[g * width] = level1;
            syms[g * width + 1] = level2 != NoSymbol ? level2 : level1;
        }
        first = std::min<int>(first, code);
        last = std::max<int>(last, code);
    }
    if (first <= last) {
        XkbMapChangesRec changes{};
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = static_cast<KeyCode>(first);
        changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
        XkbChangeMap(m_dpy, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, 0, True);
}

void SpareKeys::lend(const std::vector<KeyCode>& remapped) {
    if (remapped.empty()) {
        return;
    }
    waitUntilSafe(remapped);
    sendMapping(remapped);
    // Sent in the same flush as the remap it describes.
    recordLent();
    XSync(m_dpy, False);
    std::this_thread::sleep_for(remapPause);
}

void SpareKeys::pressed(KeyCode code) {
    if (auto it = m_spares.find(code); it != m_spares.end()) {
        it->second.lastUse = Clock::now();
    }
}

void SpareKeys::restore() {
    std::vector<KeyCode> lent;
    for (const auto& [code, spare] : m_spares) {
        if (spare.lent()) {
            lent.push_back(code);
        }
    }
    if (lent.empty()) {
        return;
    }
    waitUntilSafe(lent);
    for (KeyCode code : lent) {
        m_spares[code].syms.fill(NoSymbol);
    }
    sendMapping(lent);
    recordLent();
    XSync(m_dpy, False);
}

} // namespace pressmark::platform::x11
