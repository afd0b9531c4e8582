#pragma once

#include "FocusX11.h"
#include "SpareKeysX11.h"
#include "platform/Backend.h"

#include <QTimer>

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <X11/Xlib.h>

namespace pressmark::platform::x11 {

class PointerX11;

// Synthesized pointer and keyboard input through XTest.
//
// Text is typed as characters. A character that the locked layout carries
// on level 1 or 2 of a key is pressed there, with Shift for level 2; any
// other one on a spare keycode lent to it (SpareKeys). Before typing, the
// focus is brought where the text belongs (FocusFollower), the modifier keys
// still held are let go and Caps Lock is unlocked; both come back afterwards.
class InputX11 final : public Input {
public:
    // dpy is not owned and must outlive this object.
    explicit InputX11(Display* dpy);
    ~InputX11() override;
    InputX11(const InputX11&) = delete;
    InputX11& operator=(const InputX11&) = delete;

    void moveTo(std::int32_t nx, std::int32_t ny) override;
    void button(MouseButton button, bool down) override;
    TypeReport typeText(std::string_view text) override; // UTF-8

    // How long a lent keycode stays untouched after its last press before it
    // may be remapped or given back.
    void setSettleTime(std::chrono::milliseconds t) { m_spares.setSettleTime(t); }
    // Where foreign presses are sampled; null (the default) types wherever the
    // focus is. pointer is not owned and must outlive this object.
    void followForeignPresses(PointerX11* pointer) { m_focus.followForeignPresses(pointer); }
    // The longest a press waits for the pointer to arrive where it was sent
    // (a window manager may hold the pointer back meanwhile).
    static constexpr std::chrono::milliseconds pointerWait{250};

    // Gives every lent keycode back (NoSymbol), waiting first where needed.
    // Also runs by itself once typing has settled.
    void restoreSpareKeys();

private:
    // What the keyboard makes without help, in the state typing uses.
    struct Layout {
        std::unordered_map<char32_t, Stroke> direct;
        KeyCode shiftCode = 0;
        bool capsLocked = false;
        int lockedGroup = 0;
    };

    TypeReport typeCodePoints(const std::u32string& chars);
    std::optional<Layout> readLayout();
    std::vector<KeyCode> liftHeldKeys(bool capsLocked);
    void putBackHeldKeys(const std::vector<KeyCode>& held, bool capsLocked);
    void typeRuns(const std::u32string& chars, const Layout& layout, TypeReport& report);
    // Presses s; group is the group locked now, and is updated.
    void tap(const Stroke& s, const Layout& layout, int& group);
    void waitForPointerAt(int x, int y);

    Display* m_dpy;
    SpareKeys m_spares;
    FocusFollower m_focus;
    QTimer m_restoreTimer;
    // The root-level window under the pointer after the last move, and the
    // one under the last press since text was last typed (0: none).
    Window m_underPointer = 0;
    Window m_clicked = 0;
};

} // namespace pressmark::platform::x11
