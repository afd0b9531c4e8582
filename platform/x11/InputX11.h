#pragma once

#include "platform/Backend.h"

#include <QTimer>

#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include <X11/Xlib.h>

namespace pressmark::platform::x11 {

class PointerX11;

// Synthesized pointer and keyboard input through XTest.
//
// Text is typed as characters. A character that the locked layout carries
// on level 1 or 2 of a key is pressed there, with Shift for level 2. Any
// other character borrows a spare keycode (one without symbols) that is
// remapped to carry it, on level 1 or, with a second character, on level 2. Clients read the keymap
// only when they handle the mapping notification, and then read whatever it is at that moment: a
// keycode must therefore not be remapped again until the receiver has handled the key events sent
// with the earlier mapping (reusing one keycode for "Привет" gave "тттттт"). Each spare keeps its
// character until it is needed for another one or until the text is long done, and is remapped only
// when it has been idle for the settle time.
//
// Text goes to the last place the user clicked. When the keyboard focus is on
// nobody or on one of our own windows (the prompt that asked for the text has
// just closed and our main window is hidden; some window managers then focus
// nothing), the window of the last foreign press is activated first.
class InputX11 final : public Input {
public:
    // dpy is not owned and must outlive this object.
    explicit InputX11(Display* dpy);
    ~InputX11() override;
    InputX11(const InputX11&) = delete;
    InputX11& operator=(const InputX11&) = delete;

    void moveTo(std::int32_t nx, std::int32_t ny) override;
    void button(MouseButton button, bool down) override;
    TypeReport typeText(std::string_view cp1251) override;

    // How long a borrowed keycode stays untouched after its last press before
    // it may be remapped or given back.
    void setSettleTime(std::chrono::milliseconds t) { m_settle = t; }
    // Where foreign presses are sampled; null (the default) types wherever the
    // focus is. pointer is not owned and must outlive this object.
    void followForeignPresses(PointerX11* pointer) { m_pointer = pointer; }
    // How long typing waits for the window of the last foreign press to get
    // the focus.
    static constexpr std::chrono::milliseconds focusWait{500};
    // The longest a press waits for the pointer to arrive where it was sent
    // (a window manager may hold the pointer back meanwhile).
    static constexpr std::chrono::milliseconds pointerWait{250};
    // The longest typing waits for the keyboard focus to follow the click
    // before it (a busy window manager took up to half a second here).
    static constexpr std::chrono::milliseconds clickFocusWait{1500};

    // Gives every borrowed keycode back (NoSymbol), waiting for the settle
    // time first where needed. Also runs by itself once typing has settled.
    void restoreSpareKeys();

    // The keycodes a run of this program on this host borrowed and could not
    // give back (it was killed) are recorded on the root window; this gives
    // back those of runs that are gone, where they still carry our symbols.
    // Runs when an InputX11 is made.
    static void restoreLeftBehind(Display* dpy);

private:
    struct Stroke {
        KeyCode code = 0;
        bool shift = false;
    };
    struct Spare {
        KeySym mapped[2] = {0, 0}; // levels 1 and 2; NoSymbol while free
        bool borrowed() const { return mapped[0] != 0; }
        std::chrono::steady_clock::time_point lastUse{};
    };

    void refreshSpares(const std::vector<KeyCode>& empty);
    std::optional<KeyCode> pickSpare(const std::vector<KeyCode>& pinned) const;
    void remap(KeyCode code, const KeySym (&syms)[2]);
    void tap(const Stroke& s, KeyCode shiftCode);
    void waitUntilIdle(KeyCode code);
    void focusLastForeignWindow();
    void waitForPointerAt(int x, int y);
    void waitForFocusAfterClick(Window rootLevel);
    void recordBorrowed();
    Time serverTime();

    Display* m_dpy;
    std::chrono::milliseconds m_settle{300};
    std::map<KeyCode, Spare> m_spares; // borrowed or borrowable keycodes
    QTimer m_restoreTimer;
    PointerX11* m_pointer = nullptr;
    // The root-level window under the pointer after the last move, and the
    // one under the last press since text was last typed (0: none).
    Window m_underPointer = 0;
    Window m_clicked = 0;
    // A connection of our own for reading the server time: Qt's connection
    // hands its events to Qt, never to us.
    Display* m_timeDpy = nullptr;
    Window m_timeWin = 0;
};

} // namespace pressmark::platform::x11
