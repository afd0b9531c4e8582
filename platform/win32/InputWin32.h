#pragma once

#include "platform/Backend.h"

#include <string_view>

namespace pressmark::platform::win32 {

class PointerWin32;

// Mouse events through mouse_event with the absolute flag; text as Unicode
// key packets, so that every character arrives as typed whatever the
// keyboard layout, Caps Lock or the held modifiers.
class InputWin32 final : public Input {
public:
    // The system turns an absolute dx into the pixel dx * W / 65536, rounded
    // down, which is not the inverse of the recording rule
    // round(pixel * 65535 / W): about half the pixels would replay one to
    // the left or above. So the move goes to the pixel the normalized
    // position stands for, round(n * W / 65535) (the last pixel for 65535),
    // and mouse_event gets the smallest dx that the system maps onto it.
    void moveTo(std::int32_t nx, std::int32_t ny) override;
    // A pixel beyond the primary monitor (a click recorded on another one
    // stores a position outside 0..65535) is out of the absolute move's
    // reach, which covers the primary monitor only: the cursor is put on it
    // directly, in the virtual screen's physical pixels.
    // The pixel a normalized position stands for on one axis of extent
    // pixels, as described above; may lie outside 0..extent-1.
    static std::int64_t pixelOf(std::int32_t normalized, int extent);
    // The dx for one axis of extent pixels, as described above.
    static std::int32_t systemAbsolute(std::int32_t normalized, int extent);
    void button(MouseButton button, bool down) override;
    // The UTF-8 text decoded to UTF-16, then typeUnicode, into the window
    // the text belongs to: while the pointer samples (a recording is on),
    // the window of the last press outside ours, the place the recording
    // action names, brought to the front; otherwise, after a press, the
    // window that press brings to the front, awaited; when that one does not
    // come to the front in time, nothing is typed (all skipped).
    TypeReport typeText(std::string_view utf8) override;
    // One press and release per character (both halves of a surrogate pair
    // in one call). Modifiers held down are released first and pressed again
    // afterwards. A character the system refuses counts as skipped. Returns
    // once the program in front has read the keys (or a bounded time has
    // passed), so that what changes the window in front afterwards cannot
    // take keys still on their way.
    TypeReport typeUnicode(std::wstring_view text);

    void setPointer(const PointerWin32* pointer) { m_pointer = pointer; }

    // The mouse_event flags: move, left down/up, right down/up, each with
    // MOUSEEVENTF_ABSOLUTE.
    static constexpr unsigned MoveFlags = 0x8001;
    static constexpr unsigned LeftDownFlags = 0x8002;
    static constexpr unsigned LeftUpFlags = 0x8004;
    static constexpr unsigned RightDownFlags = 0x8008;
    static constexpr unsigned RightUpFlags = 0x8010;

private:
    struct EndMark {
        unsigned long receiver = 0; // the thread attached to, 0 for none
        bool toggled = false;       // the end key's toggle state before
    };
    void focusLastForeignWindow();
    // Whether the clicked window is in front (or there is none to wait for).
    bool waitForClickedWindow(void* clicked);
    EndMark beginEndMark();
    bool waitUntilTaken(const EndMark& mark, unsigned long long ms);

    const PointerWin32* m_pointer = nullptr;
    // The pixel of the last move, and the top-level window (an HWND) under
    // the last press; null once a text has been typed after it.
    bool m_moved = false;
    struct {
        std::int64_t x = 0, y = 0;
    } m_movedTo;
    void* m_clicked = nullptr;
};

} // namespace pressmark::platform::win32
