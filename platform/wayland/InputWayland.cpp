#include "InputWayland.h"

#include "TextKeymap.h"
#include "base/Utf8.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace pressmark::platform::wayland {
namespace {

std::uint32_t nowMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// round(n * extent / 65535), as the X11 backend maps the normalized space.
std::int64_t toPixel(std::int64_t n, std::int64_t extent) {
    const std::int64_t num = n * extent + 32767;
    std::int64_t q = num / 65535;
    if (num % 65535 != 0 && num < 0) {
        --q;
    }
    return q;
}

// The keymap travels as a file: a sealed-off memory file holding the text
// and its terminating NUL.
int keymapFile(const std::string& text) {
    const int fd = ::memfd_create("pressmark-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const char* p = text.c_str();
    std::size_t left = text.size() + 1;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return fd;
}

bool sendKeymap(zwp_virtual_keyboard_v1* keyboard, const std::string& text) {
    const int fd = keymapFile(text);
    if (fd < 0) {
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<std::uint32_t>(text.size() + 1));
    ::close(fd);
    // No modifier of the user's may change what the keys make.
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
    return true;
}

} // namespace

InputWayland::InputWayland(WaylandSession& session, TypingFocus* focus)
    : m_session(session), m_focus(focus) {
    m_session.run([this] {
        auto& g = m_session.globals();
        const std::uint32_t had = g.seatCapabilities;
        // Mapped over the whole layout, so that a pixel of any output is a
        // fraction of one box.
        m_pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointerManager, g.seat);
        m_keyboard =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.keyboardManager, g.seat);
        sendKeymap(m_keyboard, initialKeymap());
        m_session.roundtrip();
        // A seat that had no pointer or keyboard (a session without input
        // devices) gets one now, and its programs take a moment to bind it:
        // what came before they did would be lost.
        const std::uint32_t both = WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD;
        if ((had & both) != both) {
            std::this_thread::sleep_for(newDeviceSettle);
            m_session.roundtrip();
        }
    });
}

InputWayland::~InputWayland() {
    m_session.run([this] {
        if (m_pointer) {
            zwlr_virtual_pointer_v1_destroy(m_pointer);
        }
        if (m_keyboard) {
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        }
        m_session.roundtrip();
    });
}

void InputWayland::moveTo(std::int32_t nx, std::int32_t ny) {
    const Rect primary = m_session.primary();
    const Point pixel{static_cast<int>(std::clamp<std::int64_t>(
                          primary.x + toPixel(nx, primary.width), INT32_MIN, INT32_MAX)),
                      static_cast<int>(std::clamp<std::int64_t>(
                          primary.y + toPixel(ny, primary.height), INT32_MIN, INT32_MAX))};
    m_session.post([this, pixel] { moveOnThread(pixel); });
}

void InputWayland::button(MouseButton b, bool down) {
    if (down) {
        // The compositor cuts a program off once the events waiting for it
        // fill its socket: clicks at full speed into a program that stalls
        // a moment would end it. A press waits for its turn.
        const auto now = std::chrono::steady_clock::now();
        if (now < m_nextPress) {
            std::this_thread::sleep_until(m_nextPress);
        }
        m_nextPress = std::max(now, m_nextPress) + minPressInterval;
    }
    const std::uint32_t code = b == MouseButton::Left ? BTN_LEFT : BTN_RIGHT;
    m_session.post([this, code, down] { buttonOnThread(code, down); });
}

void InputWayland::moveOnThread(Point pixel) {
    m_at = pixel;
    const Rect area = m_session.layout();
    if (area.width <= 0 || area.height <= 0) {
        return;
    }
    // The protocol carries unsigned fractions of the layout's box: a pixel
    // outside it is held to its edge, as the compositor keeps the pointer on
    // the outputs.
    const std::int64_t x = std::max<std::int64_t>(std::int64_t{pixel.x} - area.x, 0);
    const std::int64_t y = std::max<std::int64_t>(std::int64_t{pixel.y} - area.y, 0);
    const auto fit = [](std::int64_t v) {
        return static_cast<std::uint32_t>(std::min<std::int64_t>(v, UINT32_MAX));
    };
    zwlr_virtual_pointer_v1_motion_absolute(m_pointer, nowMs(), fit(2 * x + 1), fit(2 * y + 1),
                                            fit(2 * std::int64_t{area.width}),
                                            fit(2 * std::int64_t{area.height}));
    zwlr_virtual_pointer_v1_frame(m_pointer);
}

void InputWayland::buttonOnThread(std::uint32_t evdevButton, bool down) {
    if (down) {
        m_clickedSinceText = m_at;
    }
    zwlr_virtual_pointer_v1_button(m_pointer, nowMs(), evdevButton,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED
                                        : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(m_pointer);
}

TypeReport InputWayland::typeText(std::string_view text) {
    const TextPlan plan = planText(utf8::decode(text));
    TypeReport report{plan.typed, plan.skipped};
    if (plan.chunks.empty()) {
        return report;
    }
    std::optional<Point> clicked;
    m_session.run([this, &clicked] {
        // The clicks before the text have reached their windows.
        m_session.roundtrip();
        clicked = m_clickedSinceText;
        m_clickedSinceText.reset();
    });
    if (m_focus) {
        m_focus->beforeTyping(clicked);
    }
    m_session.run([this, &plan] {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        long sent = 0;
        for (const KeymapChunk& chunk : plan.chunks) {
            if (!sendKeymap(m_keyboard, chunk.keymap)) {
                continue;
            }
            for (const std::uint32_t key : chunk.keys) {
                const std::uint32_t t = nowMs();
                zwp_virtual_keyboard_v1_key(m_keyboard, t, key, WL_KEYBOARD_KEY_STATE_PRESSED);
                zwp_virtual_keyboard_v1_key(m_keyboard, t, key, WL_KEYBOARD_KEY_STATE_RELEASED);
                if (++sent % 32 == 0) {
                    m_session.roundtrip();
                    const auto due =
                        start + std::chrono::microseconds(sent * 1000000L / maxCharsPerSecond);
                    std::this_thread::sleep_until(due);
                }
            }
        }
        m_session.roundtrip();
    });
    return report;
}

} // namespace pressmark::platform::wayland
