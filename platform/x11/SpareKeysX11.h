#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace pressmark::platform::x11 {

// A key press that gives one character: a keycode, with Shift or without,
// in a group of its own or (-1) in the user's.
struct Stroke {
    KeyCode code = 0;
    bool shift = false;
    int group = -1;
};

// Spare keycodes (those without symbols) lent to the characters that the
// layout lacks.
//
// A spare carries up to eight characters: two levels (Shift) in each of the
// four groups a key can have; a character of another group than the user's
// is typed with that group locked for its stroke. Clients read the keymap
// only when they handle the mapping notification, and then read whatever it
// is at that moment (some read it as soon as it arrives, before the key
// events queued ahead of it): a keycode must therefore not be remapped again
// until the receiver has handled the key events sent with its earlier
// characters (reusing one keycode per character turned "Привет" into
// "тттттт"), which only time tells. So a text is typed in runs: every spare
// a run needs is remapped in one request, so that clients read the keymap
// once, and the run is typed after one short pause. A spare is reused by a
// later run only once it has been idle for the settle time. Each spare keeps
// its characters until it is needed for others or until the text is long
// done.
//
// What is lent is recorded on the root window, so that a run of this program
// that is killed can be cleaned up after by the next one.
class SpareKeys {
public:
    // dpy is not owned and must outlive this object.
    explicit SpareKeys(Display* dpy);
    ~SpareKeys();
    SpareKeys(const SpareKeys&) = delete;
    SpareKeys& operator=(const SpareKeys&) = delete;

    void setSettleTime(std::chrono::milliseconds t) { m_settle = t; }
    std::chrono::milliseconds settleTime() const { return m_settle; }

    // Rereads the keymap: which keycodes are spare (without symbols), and
    // which of those lent still carry our characters (a layout loaded since
    // owns the others).
    void refresh();
    bool isSpare(KeyCode code) const { return m_spares.count(code) != 0; }
    bool anyLent() const;

    // One run of text from chars[from]: its strokes in order (nullopt for a
    // character no key can make), and the spares to remap for it. It goes on
    // until a character needs a spare and none is left that the run does not
    // use itself. direct gives the stroke of a character the layout has.
    struct Run {
        std::vector<std::optional<Stroke>> strokes;
        std::vector<KeyCode> remapped;
    };
    Run planRun(const std::u32string& chars, std::size_t from,
                const std::function<std::optional<Stroke>(char32_t)>& direct);

    // Remaps the run's spares in one request, once those used before have
    // been idle for the settle time, and waits a moment for the receiver to
    // read the new keymap.
    void lend(const std::vector<KeyCode>& remapped);

    // Notes a key event sent on code.
    void pressed(KeyCode code);

    // Gives every lent keycode back (NoSymbol), in one request, once they
    // have been idle for the settle time.
    void restore();

    // The keycodes a run of this program on this host lent and could not
    // give back (it was killed) are recorded on the root window; this gives
    // back those of runs that are gone, where they still carry our symbols.
    static void restoreLeftBehind(Display* dpy);

private:
    struct Spare {
        // Group 1 level 1, group 1 level 2, group 2 level 1, ...; NoSymbol
        // where free. Groups are filled in order.
        std::array<KeySym, 2 * XkbNumKbdGroups> syms{};
        bool lent() const { return syms[0] != NoSymbol; }
        int groups() const {
            int n = 0;
            while (n < XkbNumKbdGroups && syms[2 * n] != NoSymbol) {
                ++n;
            }
            return n;
        }
        std::chrono::steady_clock::time_point lastUse{}; // of its last press
    };

    std::optional<KeyCode> pickSpare(const std::vector<KeyCode>& pinned) const;
    void waitUntilSafe(const std::vector<KeyCode>& codes) const;
    void sendMapping(const std::vector<KeyCode>& codes);
    void recordLent();

    Display* m_dpy;
    std::chrono::milliseconds m_settle{300};
    std::map<KeyCode, Spare> m_spares; // lent or lendable keycodes
};

} // namespace pressmark::platform::x11
