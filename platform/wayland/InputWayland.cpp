#include "InputWayland.h"

#include "KdeServices.h"
#include "TextKeymap.h"
#include "base/Utf8.h"

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

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

// The user's keymap, as the compositor sends it to every keyboard.
void onKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
    auto* text = &static_cast<InputWayland::UserKeyboard*>(data)->keymap;
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            const char* chars = static_cast<const char*>(map);
            *text = std::string(chars, ::strnlen(chars, size));
            ::munmap(map, size);
        }
    }
    ::close(fd);
}
void onKeyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void onKeyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void onKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void onModifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t, std::uint32_t group) {
    static_cast<InputWayland::UserKeyboard*>(data)->group = group;
}
void onRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
constexpr wl_keyboard_listener keyboardListener{onKeymap, onKeyboardEnter, onKeyboardLeave,
                                                onKey,    onModifiers,     onRepeatInfo};

} // namespace

InputWayland::InputWayland(WaylandSession& session, TypingFocus* focus,
                           std::unique_ptr<MutterRemote> gnome, LayoutSwitch* layouts)
    : m_session(session), m_focus(focus), m_gnome(std::move(gnome)), m_layouts(layouts) {
    m_session.run([this] {
        auto& g = m_session.globals();
        const std::uint32_t had = g.seatCapabilities;
        const std::uint32_t both = WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD;
        if (m_gnome) {
            // GNOME makes the session's devices at their first use: now,
            // for a seat that lacks them, with the same time to bind them.
            const bool pointer = !(had & WL_SEAT_CAPABILITY_POINTER);
            const bool keyboard = !(had & WL_SEAT_CAPABILITY_KEYBOARD);
            if (pointer || keyboard) {
                m_gnome->makeDevices(pointer, keyboard);
                std::this_thread::sleep_for(newDeviceSettle);
                m_session.roundtrip();
            }
            return;
        }
        if (!g.pointerManager || !g.keyboardManager) {
            // KWin: its fake input is a device of the seat once the program
            // has said who it is.
            m_fake = g.fakeInput;
            org_kde_kwin_fake_input_authenticate(m_fake, "Pressmark",
                                                 "plays recorded clicks and texts back");
            m_session.roundtrip();
            if ((had & both) != both) {
                std::this_thread::sleep_for(newDeviceSettle);
                m_session.roundtrip();
            }
            return;
        }
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
        if (m_userKeyboard) {
            wl_keyboard_release(m_userKeyboard);
        }
        m_session.roundtrip();
    });
}

void InputWayland::moveTo(std::int32_t nx, std::int32_t ny) {
    const Rect primary = m_session.primary();
    const Point pixel{
        static_cast<int>(std::clamp<std::int64_t>(primary.x + normalizedToPixel(nx, primary.width),
                                                  INT32_MIN, INT32_MAX)),
        static_cast<int>(std::clamp<std::int64_t>(primary.y + normalizedToPixel(ny, primary.height),
                                                  INT32_MIN, INT32_MAX))};
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
    if (m_gnome) {
        const Rect primary = m_session.primary();
        m_gnome->move({pixel.x - primary.x, pixel.y - primary.y});
        return;
    }
    if (m_fake) {
        // In the layout's logical pixels, whole: KWin rounds x.5 up.
        org_kde_kwin_fake_input_pointer_motion_absolute(m_fake, wl_fixed_from_int(pixel.x),
                                                        wl_fixed_from_int(pixel.y));
        return;
    }
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
    const std::uint32_t state =
        down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
    if (m_gnome) {
        m_gnome->button(evdevButton, down);
        return;
    }
    if (m_fake) {
        org_kde_kwin_fake_input_button(m_fake, evdevButton, state);
        return;
    }
    zwlr_virtual_pointer_v1_button(m_pointer, nowMs(), evdevButton, state);
    zwlr_virtual_pointer_v1_frame(m_pointer);
}

std::optional<Point> InputWayland::takeClickedSinceText() {
    std::optional<Point> clicked;
    m_session.run([this, &clicked] {
        // The clicks before the text have reached their windows.
        if (m_gnome) {
            m_gnome->sync();
        }
        m_session.roundtrip();
        clicked = m_clickedSinceText;
        m_clickedSinceText.reset();
    });
    return clicked;
}

TypeReport InputWayland::typeText(std::string_view text) {
    const std::u32string chars = utf8::decode(text);
    if (m_fake || m_gnome) {
        return typeThroughLayouts(chars);
    }
    const TextPlan plan = planText(chars);
    TypeReport report{plan.typed, plan.skipped};
    if (plan.chunks.empty()) {
        return report;
    }
    const std::optional<Point> clicked = takeClickedSinceText();
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

namespace pressmark::platform::wayland {

void InputWayland::sendLayoutKey(std::uint32_t evdevCode, bool shift) {
    const auto key = [this](std::uint32_t code, std::uint32_t state) {
        if (m_gnome) {
            m_gnome->key(code, state == WL_KEYBOARD_KEY_STATE_PRESSED);
        } else {
            org_kde_kwin_fake_input_keyboard_key(m_fake, code, state);
        }
    };
    if (shift) {
        key(KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_PRESSED);
    }
    key(evdevCode, WL_KEYBOARD_KEY_STATE_PRESSED);
    key(evdevCode, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (shift) {
        key(KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_RELEASED);
    }
}

void InputWayland::flushKeys() {
    if (m_gnome) {
        m_gnome->sync();
    }
    m_session.roundtrip();
}

// KWin and GNOME turn the key codes into characters with their active
// layout. Each run of characters of one layout is typed with that layout
// switched on, and the user's layout comes back at the end; where layouts
// cannot be switched, only the active one is used. A character no layout
// that may be used holds cannot be typed at all: it is reported skipped, as
// are the characters of a layout the switch was refused for.
TypeReport InputWayland::typeThroughLayouts(std::u32string_view text) {
    std::string keymapText;
    std::uint32_t activeGroup = 0;
    m_session.run([this, &keymapText, &activeGroup] {
        auto& g = m_session.globals();
        if (!m_userKeyboard && (g.seatCapabilities & WL_SEAT_CAPABILITY_KEYBOARD)) {
            m_userKeyboard = wl_seat_get_keyboard(g.seat);
            wl_keyboard_add_listener(m_userKeyboard, &keyboardListener, &m_user);
        }
        m_session.roundtrip();
        keymapText = m_user.keymap;
        activeGroup = m_user.group;
    });
    const std::optional<std::uint32_t> switchable =
        m_layouts ? m_layouts->active(activeGroup) : std::nullopt;
    const std::uint32_t user = switchable.value_or(activeGroup);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    xkb_keymap* keymap =
        context && !keymapText.empty()
            ? xkb_keymap_new_from_string(context, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                         XKB_KEYMAP_COMPILE_NO_FLAGS)
            : nullptr;
    const LayoutPlan plan = planLayoutText(keymap, text, user, switchable.has_value());
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (plan.keys.empty()) {
        return TypeReport{0, plan.skipped};
    }
    const std::optional<Point> clicked = takeClickedSinceText();
    if (m_focus) {
        m_focus->beforeTyping(clicked);
    }
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    long sent = 0;
    TypeReport report{plan.typed, plan.skipped};
    std::uint32_t layout = user;
    for (std::size_t i = 0; i < plan.keys.size();) {
        std::size_t end = i;
        while (end < plan.keys.size() && plan.keys[end].group == plan.keys[i].group) {
            ++end;
        }
        if (plan.keys[i].group != layout) {
            if (!m_layouts->switchTo(plan.keys[i].group, user)) {
                report.typed -= static_cast<int>(end - i);
                report.skipped += static_cast<int>(end - i);
                i = end;
                continue;
            }
            layout = plan.keys[i].group;
        }
        // The keys of one layout, then a round trip: every one of them has
        // been read with this layout before the next switch.
        m_session.run([&] {
            for (; i < end; ++i) {
                sendLayoutKey(plan.keys[i].evdevCode, plan.keys[i].shift);
                if (++sent % 32 == 0) {
                    flushKeys();
                    std::this_thread::sleep_until(
                        start + std::chrono::microseconds(sent * 1000000L / maxCharsPerSecond));
                }
            }
            flushKeys();
        });
    }
    if (layout != user) {
        m_layouts->restore(user);
    }
    return report;
}

} // namespace pressmark::platform::wayland
