#pragma once

#include "MutterRemote.h"
#include "WaylandSession.h"
#include "platform/Backend.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct zwlr_virtual_pointer_v1;
struct zwp_virtual_keyboard_v1;
struct wl_keyboard;

namespace pressmark::platform::wayland {

// Where typed text belongs is the desktop's to say: the backend brings the
// keyboard focus there before the first key.
class TypingFocus {
public:
    virtual ~TypingFocus() = default;
    // lastClick: where the last press since the previous text was sent
    // (layout pixels), if any.
    virtual void beforeTyping(std::optional<Point> lastClick) = 0;
};

// The user's keyboard layouts (the groups of the keymap every keyboard has),
// where the compositor turns key codes into characters with the active one:
// text is typed with each layout switched to in turn, and the user's back
// at the end.
class LayoutSwitch {
public:
    virtual ~LayoutSwitch() = default;
    // The active layout; keyboardGroup is the one the compositor last told
    // the program's keyboard. nullopt when there is nothing to switch.
    virtual std::optional<std::uint32_t> active(std::uint32_t keyboardGroup) = 0;
    // Makes group the active layout before the keys that follow; user is
    // the layout to come back to. False when it cannot.
    virtual bool switchTo(std::uint32_t group, std::uint32_t user) = 0;
    virtual void restore(std::uint32_t user) = 0;
};

// Clicks and text through the compositor's virtual pointer and virtual
// keyboard, made once for the session and kept: a seat without a device
// would drop the first events sent after one appears. On KWin, through its
// fake input instead, which takes whole pixels and key codes of the layout
// active at the time: text goes through the user's layouts, each switched to
// while its characters are typed. On GNOME, through its remote desktop
// (MutterRemote), which likewise takes key codes of the active input source,
// switched through Pressmark's Shell extension; without it, what that source
// cannot type is reported not typed.
//
// A position is the pixel the normalized 0..65535 names on the primary
// output, rounded as on X11, sent as that pixel's centre within the box of
// all outputs, so that any scaling rounds to it (KWin takes the pixel itself:
// it rounds a centre up).
class InputWayland final : public Input {
public:
    // session, focus and layouts are not owned; focus may be null, and
    // layouts where text goes through keymaps of the program's own or only
    // the active layout may be used. With a GNOME remote-desktop session,
    // input goes through it.
    InputWayland(WaylandSession& session, TypingFocus* focus,
                 std::unique_ptr<MutterRemote> gnome = nullptr, LayoutSwitch* layouts = nullptr);
    ~InputWayland() override;
    InputWayland(const InputWayland&) = delete;
    InputWayland& operator=(const InputWayland&) = delete;

    void moveTo(std::int32_t nx, std::int32_t ny) override;
    void button(MouseButton button, bool down) override;
    TypeReport typeText(std::string_view text) override; // UTF-8

    // A move to a pixel of the layout, and an evdev button, on the session's
    // thread (the recorder's overlay passes its clicks on with them).
    void moveOnThread(Point pixel);
    void buttonOnThread(std::uint32_t evdevButton, bool down);

    // The most characters a second typing sends: a client that reads slower
    // than its keys come would be cut off by the compositor once the
    // events waiting for it fill the socket.
    static constexpr int maxCharsPerSecond = 2000;
    // The shortest time between two presses played, for the same reason.
    static constexpr std::chrono::microseconds minPressInterval{1000};
    // How long the programs get to bind a pointer or keyboard the seat did
    // not have before.
    static constexpr std::chrono::milliseconds newDeviceSettle{300};

    // The user's keymap as the compositor sends it to every keyboard, and
    // its active layout.
    struct UserKeyboard {
        std::string keymap; // its text, every layout in it
        std::uint32_t group = 0;
    };

private:
    TypeReport typeThroughLayouts(std::u32string_view text);
    std::optional<Point> takeClickedSinceText();
    void sendLayoutKey(std::uint32_t evdevCode, bool shift);
    void flushKeys(); // on the session's thread

    WaylandSession& m_session;
    TypingFocus* m_focus;
    zwlr_virtual_pointer_v1* m_pointer = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    org_kde_kwin_fake_input* m_fake = nullptr; // KWin: pointer and keys in one
    wl_keyboard* m_userKeyboard = nullptr;     // KWin: tells the user's keymap
    UserKeyboard m_user;
    std::unique_ptr<MutterRemote> m_gnome; // GNOME: pointer and keys in one
    LayoutSwitch* m_layouts;
    bool m_pointerOnOutput = false;                    // mapped to the primary output (v2)
    Point m_at;                                        // the last pixel sent
    std::optional<Point> m_clickedSinceText;           // the last press since text was typed
    std::chrono::steady_clock::time_point m_nextPress; // the caller's thread
};

} // namespace pressmark::platform::wayland
