#include "WaylandSession.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "LayerShellProtocol.h"
#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <gio/gio.h>
#include <wayland-client.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>

namespace pressmark::platform::wayland {

namespace {

bool named(const char* interface, const wl_interface& known) {
    return std::strcmp(interface, known.name) == 0;
}

} // namespace

// The C listeners, friends of the session.
struct SessionListeners {
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        auto* s = static_cast<WaylandSession*>(data);
        auto& g = s->m_globals;
        if (named(interface, wl_compositor_interface) && !g.compositor) {
            g.compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, std::min(version, 4u)));
        } else if (named(interface, wl_shm_interface) && !g.shm) {
            g.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        } else if (named(interface, wl_seat_interface) && !g.seat) {
            g.seat = static_cast<wl_seat*>(
                wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
            wl_seat_add_listener(g.seat, &seatListener, s);
        } else if (named(interface, wl_output_interface)) {
            auto* o = static_cast<wl_output*>(
                wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
            WaylandSession::Output out;
            out.proxy = o;
            g.outputs.push_back(out);
            wl_output_add_listener(o, &outputListener, s);
            s->watchOutput(g.outputs.back());
        } else if (named(interface, zwlr_virtual_pointer_manager_v1_interface)) {
            g.pointerManagerVersion = std::min(version, 2u);
            g.pointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface,
                                 g.pointerManagerVersion));
        } else if (named(interface, zwp_virtual_keyboard_manager_v1_interface)) {
            g.keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        } else if (named(interface, zxdg_output_manager_v1_interface)) {
            g.outputManager = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
                registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
            for (auto& o : g.outputs) {
                s->watchOutput(o);
            }
        } else if (named(interface, zwlr_layer_shell_v1_interface)) {
            g.layerShell = static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(
                registry, name, &zwlr_layer_shell_v1_interface, std::min(version, 3u)));
        } else if (named(interface, org_kde_kwin_fake_input_interface) && !g.fakeInput) {
            g.fakeInputVersion = std::min(version, 4u);
            g.fakeInput = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
                registry, name, &org_kde_kwin_fake_input_interface, g.fakeInputVersion));
        }
    }
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    static void capabilities(void* data, wl_seat*, std::uint32_t caps) {
        static_cast<WaylandSession*>(data)->m_globals.seatCapabilities = caps;
    }
    static void seatName(void*, wl_seat*, const char*) {}

    static WaylandSession::Output* output(void* data, wl_output* proxy) {
        auto& outputs = static_cast<WaylandSession*>(data)->m_globals.outputs;
        for (auto& o : outputs) {
            if (o.proxy == proxy) {
                return &o;
            }
        }
        return nullptr;
    }
    static void geometry(void* data, wl_output* proxy, std::int32_t x, std::int32_t y, std::int32_t,
                         std::int32_t, std::int32_t, const char*, const char*, std::int32_t) {
        if (auto* o = output(data, proxy)) {
            o->modeRect.x = x;
            o->modeRect.y = y;
        }
    }
    static void mode(void* data, wl_output* proxy, std::uint32_t flags, std::int32_t w,
                     std::int32_t h, std::int32_t) {
        if (auto* o = output(data, proxy); o && (flags & WL_OUTPUT_MODE_CURRENT)) {
            o->modeRect.width = w;
            o->modeRect.height = h;
        }
    }
    static void done(void* data, wl_output*) {
        static_cast<WaylandSession*>(data)->updatePrimary();
    }

    static WaylandSession::Output* xdgOutput(void* data, zxdg_output_v1* proxy) {
        for (auto& o : static_cast<WaylandSession*>(data)->m_globals.outputs) {
            if (o.xdg == proxy) {
                return &o;
            }
        }
        return nullptr;
    }
    static void logicalPosition(void* data, zxdg_output_v1* proxy, std::int32_t x, std::int32_t y) {
        if (auto* o = xdgOutput(data, proxy)) {
            o->rect.x = x;
            o->rect.y = y;
            o->logical = true;
        }
    }
    static void logicalSize(void* data, zxdg_output_v1* proxy, std::int32_t w, std::int32_t h) {
        if (auto* o = xdgOutput(data, proxy)) {
            o->rect.width = w;
            o->rect.height = h;
            o->logical = true;
        }
    }
    static void xdgDone(void* data, zxdg_output_v1*) {
        static_cast<WaylandSession*>(data)->updatePrimary();
    }
    static void xdgName(void*, zxdg_output_v1*, const char*) {}
    static void xdgDescription(void*, zxdg_output_v1*, const char*) {}
    static void scale(void* data, wl_output* proxy, std::int32_t factor) {
        if (auto* o = output(data, proxy); o && factor > 0) {
            o->scale = factor;
        }
    }

    static constexpr wl_registry_listener registryListener{global, globalRemove};
    static constexpr wl_seat_listener seatListener{capabilities, seatName};
    static void outputName(void*, wl_output*, const char*) {}
    static void outputDescription(void*, wl_output*, const char*) {}

    static constexpr wl_output_listener outputListener{geometry, mode,       done,
                                                       scale,    outputName, outputDescription};
    static constexpr zxdg_output_v1_listener xdgOutputListener{logicalPosition, logicalSize,
                                                               xdgDone, xdgName, xdgDescription};
};

namespace {

// Whether GNOME's remote-desktop service (MutterRemote) answers on the
// session bus; asked before Qt starts, hence through GIO.
bool gnomeRemoteOffered() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", "org.gnome.Mutter.RemoteDesktop"),
        G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

} // namespace

bool probeCompositor(Offer& offer, std::string& why) {
    wl_display* d = wl_display_connect(nullptr);
    if (!d) {
        why = "no Wayland compositor answers at WAYLAND_DISPLAY";
        return false;
    }
    struct Seen {
        Offer* offer;
    } seen{&offer};
    static constexpr wl_registry_listener listener{
        [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
            Offer& o = *static_cast<Seen*>(data)->offer;
            o.seat |= named(interface, wl_seat_interface);
            o.output |= named(interface, wl_output_interface);
            o.virtualPointer |= named(interface, zwlr_virtual_pointer_manager_v1_interface);
            o.virtualKeyboard |= named(interface, zwp_virtual_keyboard_manager_v1_interface);
            o.layerShell |= named(interface, zwlr_layer_shell_v1_interface);
            o.kdeFakeInput |= named(interface, org_kde_kwin_fake_input_interface);
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(d);
    wl_registry_add_listener(registry, &listener, &seen);
    const bool ok = wl_display_roundtrip(d) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(d);
    if (!ok) {
        why = "the Wayland compositor closed the connection";
    } else if (!offer.usable()) {
        offer.gnomeRemote = gnomeRemoteOffered();
    }
    return ok;
}

std::unique_ptr<WaylandSession> WaylandSession::connect(std::string& why) {
    std::unique_ptr<WaylandSession> s(new WaylandSession);
    s->m_display = wl_display_connect(nullptr);
    if (!s->m_display) {
        why = "no Wayland compositor answers at WAYLAND_DISPLAY";
        return nullptr;
    }
    s->m_registry = wl_display_get_registry(s->m_display);
    wl_registry_add_listener(s->m_registry, &SessionListeners::registryListener, s.get());
    // The globals, then their first events (the outputs' sizes, the seat's
    // capabilities).
    if (wl_display_roundtrip(s->m_display) < 0 || wl_display_roundtrip(s->m_display) < 0 ||
        wl_display_roundtrip(s->m_display) < 0) {
        why = "the Wayland compositor closed the connection";
        return nullptr;
    }
    const auto& g = s->m_globals;
    // How input is sent (a protocol, or GNOME's service) is the backend's
    // to find.
    if (!g.seat || g.outputs.empty()) {
        why = "the compositor offers no seat or output";
        return nullptr;
    }
    s->m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->m_wake < 0) {
        why = std::string("eventfd: ") + std::strerror(errno);
        return nullptr;
    }
    s->m_thread = std::thread([raw = s.get()] { raw->loop(); });
    return s;
}

WaylandSession::~WaylandSession() {
    if (m_thread.joinable()) {
        m_stop = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    // Whatever the queue still holds runs here, on this thread, as the
    // loop has ended: the owners' clean-up posted last.
    runQueued();
    if (m_display) {
        auto& g = m_globals;
        for (auto& o : g.outputs) {
            if (o.xdg) {
                zxdg_output_v1_destroy(o.xdg);
            }
            wl_output_destroy(o.proxy);
        }
        if (g.outputManager) {
            zxdg_output_manager_v1_destroy(g.outputManager);
        }
        if (g.layerShell) {
            zwlr_layer_shell_v1_destroy(g.layerShell);
        }
        if (g.fakeInput) {
            // No request ends it: the device goes with the connection.
            org_kde_kwin_fake_input_destroy(g.fakeInput);
        }
        if (g.keyboardManager) {
            zwp_virtual_keyboard_manager_v1_destroy(g.keyboardManager);
        }
        if (g.pointerManager) {
            zwlr_virtual_pointer_manager_v1_destroy(g.pointerManager);
        }
        if (g.seat) {
            wl_seat_destroy(g.seat);
        }
        if (g.shm) {
            wl_shm_destroy(g.shm);
        }
        if (g.compositor) {
            wl_compositor_destroy(g.compositor);
        }
        if (m_registry) {
            wl_registry_destroy(m_registry);
        }
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
    if (m_wake >= 0) {
        ::close(m_wake);
    }
}

void WaylandSession::run(const std::function<void()>& work) {
    if (onThread() || !m_thread.joinable()) {
        work();
        return;
    }
    bool dead = false;
    {
        std::lock_guard lock(m_mutex);
        dead = m_dead;
    }
    if (dead) {
        work();
        return;
    }
    std::promise<void> finished;
    auto done = finished.get_future();
    post([&] {
        work();
        finished.set_value();
    });
    done.wait();
}

void WaylandSession::post(std::function<void()> work) {
    {
        std::unique_lock lock(m_mutex);
        if (m_dead) {
            // The connection is gone: its requests go nowhere, and nobody
            // else would ever run the work.
            lock.unlock();
            work();
            return;
        }
        m_queue.push_back(std::move(work));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_wake, &one, sizeof one);
}

bool WaylandSession::roundtrip() {
    // A connection the compositor has ended answers nothing more.
    return wl_display_get_error(m_display) == 0 && wl_display_roundtrip(m_display) >= 0;
}

// The requests of one piece of work go out before the next piece runs,
// waiting while the compositor reads: the connection buffers a few
// kilobytes, and a request that finds that full ends the connection (a
// scenario played without pauses posts its clicks far faster than KWin
// reads them).
void WaylandSession::drain() {
    while (wl_display_flush(m_display) < 0 && errno == EAGAIN) {
        pollfd out{wl_display_get_fd(m_display), POLLOUT, 0};
        if (::poll(&out, 1, 1000) <= 0) {
            return;
        }
    }
}

Rect WaylandSession::primary() const {
    std::lock_guard lock(m_mutex);
    return m_primary;
}

wl_output* WaylandSession::primaryOutput() const {
    return m_globals.outputs.empty() ? nullptr : m_globals.outputs.front().proxy;
}

void WaylandSession::watchOutput(Output& o) {
    if (m_globals.outputManager && !o.xdg) {
        o.xdg = zxdg_output_manager_v1_get_xdg_output(m_globals.outputManager, o.proxy);
        zxdg_output_v1_add_listener(o.xdg, &SessionListeners::xdgOutputListener, this);
    }
}

// Without xdg-output an output's place in the layout is unknown: the mode
// over the scale is its size, and the outputs are taken to lie side by side.
void WaylandSession::updatePrimary() {
    if (m_globals.outputs.empty()) {
        return;
    }
    int nextX = 0;
    for (auto& o : m_globals.outputs) {
        if (!o.logical) {
            const int scale = std::max(o.scale, 1);
            o.rect = Rect{nextX, 0, o.modeRect.width / scale, o.modeRect.height / scale};
        }
        nextX = std::max(nextX, o.rect.x + o.rect.width);
    }
    Rect box = m_globals.outputs.front().rect;
    for (const auto& o : m_globals.outputs) {
        const int right = std::max(box.x + box.width, o.rect.x + o.rect.width);
        const int bottom = std::max(box.y + box.height, o.rect.y + o.rect.height);
        box.x = std::min(box.x, o.rect.x);
        box.y = std::min(box.y, o.rect.y);
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    std::lock_guard lock(m_mutex);
    m_primary = m_globals.outputs.front().rect;
    m_layout = box;
}

Rect WaylandSession::layout() const {
    std::lock_guard lock(m_mutex);
    return m_layout;
}

void WaylandSession::runQueued() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                return;
            }
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        work();
        if (m_display) {
            drain();
        }
    }
}

void WaylandSession::loop() {
    serve();
    {
        std::lock_guard lock(m_mutex);
        m_dead = true;
    }
    runQueued();
}

void WaylandSession::serve() {
    while (!m_stop) {
        while (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0) {
                return;
            }
        }
        wl_display_flush(m_display);
        pollfd fds[2] = {{wl_display_get_fd(m_display), POLLIN, 0}, {m_wake, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            if (wl_display_read_events(m_display) < 0) {
                return;
            }
        } else {
            wl_display_cancel_read(m_display);
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            return;
        }
        if (wl_display_dispatch_pending(m_display) < 0) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(m_wake, &count, sizeof count);
        }
        runQueued();
        wl_display_flush(m_display);
    }
}

} // namespace pressmark::platform::wayland
