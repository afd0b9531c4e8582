#include "PointerWayland.h"

#include "LayerShellProtocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-cursor.h>

#include <chrono>
#include <cmath>

namespace pressmark::platform::wayland {
namespace {

constexpr char cannotRecordText[] =
    "Запись недоступна: этот композитор не показывает программам щелчки мыши в чужих окнах "
    "(у него нет слоя поверх окон).";

PointerWayland* self(void* data) {
    return static_cast<PointerWayland*>(data);
}

void onEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
             wl_fixed_t y) {
    self(data)->entered(surface, serial, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void onLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void onMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    self(data)->moved(wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void onButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
              std::uint32_t state) {
    self(data)->pressed(button, state == WL_POINTER_BUTTON_STATE_PRESSED);
}
void onAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void onFrame(void*, wl_pointer*) {}
void onAxisSource(void*, wl_pointer*, std::uint32_t) {}
void onAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void onAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
void onAxisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
constexpr wl_pointer_listener pointerListener{
    onEnter, onLeave,      onMotion,   onButton,       onAxis,
    onFrame, onAxisSource, onAxisStop, onAxisDiscrete, onAxisValue120};

void onConfigure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t w,
                 std::uint32_t h) {
    auto* o = static_cast<PointerWayland::Overlay*>(data);
    o->owner->configured(*o, serial, static_cast<int>(w), static_cast<int>(h));
}
void onClosed(void*, zwlr_layer_surface_v1*) {}
constexpr zwlr_layer_surface_v1_listener layerListener{onConfigure, onClosed};

// A fully transparent buffer the size of the output.
wl_buffer* transparentBuffer(wl_shm* shm, int width, int height) {
    const int stride = width * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    const int fd = ::memfd_create("pressmark-overlay", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) < 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return buffer;
}

} // namespace

PointerWayland::PointerWayland(WaylandSession& session, InputWayland& input, Desktop* desktop)
    : m_session(session), m_input(input), m_desktop(desktop) {
    m_session.run([this] {
        auto& g = m_session.globals();
        m_canRecord = g.layerShell && g.compositor && g.shm;
    });
}

PointerWayland::~PointerWayland() {
    m_session.run([this] {
        hideOverlays();
        if (m_cursorSurface) {
            wl_surface_destroy(m_cursorSurface);
        }
        if (m_cursorTheme) {
            wl_cursor_theme_destroy(m_cursorTheme);
        }
        m_session.roundtrip();
    });
}

void PointerWayland::startSampling() {
    {
        std::lock_guard lock(m_mutex);
        m_presses.clear();
    }
    m_session.run([this] {
        m_sampling = true;
        showOverlays();
    });
}

void PointerWayland::stopSampling() {
    m_session.run([this] {
        m_sampling = false;
        hideOverlays();
    });
    if (m_desktop) {
        m_desktop->setTypingTarget(std::nullopt);
    }
    std::lock_guard lock(m_mutex);
    m_presses.clear();
}

std::vector<Press> PointerWayland::takePresses() {
    std::lock_guard lock(m_mutex);
    std::vector<Press> out;
    out.swap(m_presses);
    return out;
}

Point PointerWayland::cursorPos() {
    std::lock_guard lock(m_mutex);
    return m_lastSeen;
}

Rect PointerWayland::primaryScreen() {
    return m_session.primary();
}

bool PointerWayland::isOwnWindowAt(Point p) {
    if (!m_desktop) {
        return false;
    }
    const auto w = m_desktop->windowAt(p);
    return w && w->own;
}

const char* PointerWayland::cannotRecordReason() const {
    if (m_canRecord) {
        return nullptr;
    }
    return m_cannotRecordWhy.empty() ? cannotRecordText : m_cannotRecordWhy.c_str();
}

void PointerWayland::showOverlays() {
    if (!m_canRecord || !m_overlays.empty()) {
        return;
    }
    auto& g = m_session.globals();
    if (!m_pointer && (g.seatCapabilities & WL_SEAT_CAPABILITY_POINTER)) {
        m_pointer = wl_seat_get_pointer(g.seat);
        wl_pointer_add_listener(m_pointer, &pointerListener, this);
    }
    for (const auto& output : g.outputs) {
        auto* o = new Overlay;
        o->owner = this;
        o->rect = output.rect;
        o->surface = wl_compositor_create_surface(g.compositor);
        o->layer = zwlr_layer_shell_v1_get_layer_surface(g.layerShell, o->surface, output.proxy,
                                                         ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                         "pressmark-record");
        zwlr_layer_surface_v1_add_listener(o->layer, &layerListener, o);
        zwlr_layer_surface_v1_set_anchor(
            o->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(o->layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(o->layer, 0);
        wl_surface_commit(o->surface);
        m_overlays.push_back(o);
    }
    // Sampling starts once every overlay is up: a press before that would
    // reach the window below unrecorded.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const auto allUp = [this] {
        for (const Overlay* o : m_overlays) {
            if (!o->configured) {
                return false;
            }
        }
        return true;
    };
    while (!allUp() && std::chrono::steady_clock::now() < until) {
        if (!m_session.roundtrip()) {
            break;
        }
    }
}

void PointerWayland::hideOverlays() {
    for (Overlay* o : m_overlays) {
        zwlr_layer_surface_v1_destroy(o->layer);
        wl_surface_destroy(o->surface);
        if (o->buffer) {
            wl_buffer_destroy(o->buffer);
        }
        delete o;
    }
    m_overlays.clear();
    m_under = nullptr;
    m_held = 0;
    if (m_pointer) {
        wl_pointer_release(m_pointer);
        m_pointer = nullptr;
    }
}

void PointerWayland::configured(Overlay& o, std::uint32_t serial, int width, int height) {
    zwlr_layer_surface_v1_ack_configure(o.layer, serial);
    if (width <= 0 || height <= 0) {
        width = o.rect.width;
        height = o.rect.height;
    }
    if (!o.buffer || o.width != width || o.height != height) {
        if (o.buffer) {
            wl_buffer_destroy(o.buffer);
        }
        o.buffer = transparentBuffer(m_session.globals().shm, width, height);
        o.width = width;
        o.height = height;
    }
    wl_surface_attach(o.surface, o.buffer, 0, 0);
    wl_surface_damage(o.surface, 0, 0, width, height);
    wl_surface_commit(o.surface);
    o.configured = true;
}

void PointerWayland::entered(wl_surface* surface, std::uint32_t serial, double x, double y) {
    m_under = nullptr;
    for (Overlay* o : m_overlays) {
        if (o->surface == surface) {
            m_under = o;
        }
    }
    // The overlay shows the ordinary arrow: without a cursor of its own the
    // pointer would vanish while recording.
    auto& g = m_session.globals();
    if (!m_cursorTheme) {
        m_cursorTheme = wl_cursor_theme_load(nullptr, 24, g.shm);
    }
    wl_cursor* arrow =
        m_cursorTheme ? wl_cursor_theme_get_cursor(m_cursorTheme, "left_ptr") : nullptr;
    if (arrow && arrow->image_count > 0) {
        wl_cursor_image* image = arrow->images[0];
        if (!m_cursorSurface) {
            m_cursorSurface = wl_compositor_create_surface(g.compositor);
        }
        wl_surface_attach(m_cursorSurface, wl_cursor_image_get_buffer(image), 0, 0);
        wl_surface_damage(m_cursorSurface, 0, 0, static_cast<std::int32_t>(image->width),
                          static_cast<std::int32_t>(image->height));
        wl_surface_commit(m_cursorSurface);
        wl_pointer_set_cursor(m_pointer, serial, m_cursorSurface,
                              static_cast<std::int32_t>(image->hotspot_x),
                              static_cast<std::int32_t>(image->hotspot_y));
    }
    moved(x, y);
}

void PointerWayland::moved(double x, double y) {
    if (!m_under) {
        return;
    }
    m_position = Point{m_under->rect.x + static_cast<int>(std::floor(x)),
                       m_under->rect.y + static_cast<int>(std::floor(y))};
    std::lock_guard lock(m_mutex);
    m_lastSeen = m_position;
}

void PointerWayland::pressed(std::uint32_t button, bool down) {
    if (!m_sampling || !m_under) {
        return;
    }
    if (down) {
        if (m_held != 0) {
            return; // a second button while one is held: one click at a time
        }
        m_held = button;
        if (button != BTN_LEFT && button != BTN_RIGHT) {
            return;
        }
        Press press;
        press.button = button == BTN_LEFT ? MouseButton::Left : MouseButton::Right;
        press.pos = m_position;
        if (m_desktop) {
            const auto w = m_desktop->windowAt(m_position);
            press.ownWindow = w && w->own;
            if (w && !w->own) {
                m_desktop->setTypingTarget(w->id);
            }
        }
        std::lock_guard lock(m_mutex);
        m_presses.push_back(press);
        return;
    }
    if (button == m_held) {
        m_held = 0;
        passOn(button);
    }
}

// The click goes on to the window under the overlay: the overlay stops
// taking input, the virtual pointer clicks on the same pixel, and the
// overlay takes input again.
void PointerWayland::passOn(std::uint32_t button) {
    Overlay* o = m_under;
    if (!o) {
        return;
    }
    auto& g = m_session.globals();
    wl_region* none = wl_compositor_create_region(g.compositor);
    wl_surface_set_input_region(o->surface, none);
    wl_region_destroy(none);
    wl_surface_commit(o->surface);
    m_session.roundtrip();
    const Point at = m_position;
    m_input.moveOnThread(at);
    m_input.buttonOnThread(button, true);
    m_input.buttonOnThread(button, false);
    m_session.roundtrip();
    wl_surface_set_input_region(o->surface, nullptr);
    wl_surface_commit(o->surface);
    // A move on the spot brings the pointer back onto the overlay.
    m_input.moveOnThread(at);
    m_session.roundtrip();
}

} // namespace pressmark::platform::wayland
