#pragma once

#include "platform/Backend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct zwlr_virtual_pointer_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_layer_shell_v1;
struct org_kde_kwin_fake_input;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace pressmark::platform::wayland {

// What the compositor offers of the protocols the backend speaks.
struct Offer {
    bool seat = false;
    bool output = false;
    bool virtualPointer = false;
    bool virtualKeyboard = false;
    bool layerShell = false;
    bool kdeFakeInput = false;
    bool gnomeRemote = false; // GNOME's remote-desktop service, on the session bus
    // Clicks and text can be sent: the backend can play scenarios. KWin's
    // fake input and GNOME's remote desktop do both (text through the user's
    // layouts).
    bool usable() const {
        return seat && output &&
               ((virtualPointer && virtualKeyboard) || kdeFakeInput || gnomeRemote);
    }
};

// Asks the compositor at WAYLAND_DISPLAY, on a short connection of its own,
// what it offers; false (with why, in one line) when nobody answers there.
bool probeCompositor(Offer& offer, std::string& why);

// One connection to the compositor, served by a thread of its own: every
// request and every event of the backend's Wayland objects happens on that
// thread, so that presses reach the overlay and are passed on while the
// program's own thread waits in a dialog or sleeps between steps. Other
// threads hand work over with run() or post().
class WaylandSession {
public:
    struct Output {
        wl_output* proxy = nullptr;
        zxdg_output_v1* xdg = nullptr; // where it lies in the layout, when told
        Rect rect;                     // in the layout's logical pixels
        Rect modeRect;                 // wl_output's own: a mode in device pixels, no position
        int scale = 1;
        bool logical = false; // rect came from xdg-output
    };
    struct Globals {
        wl_compositor* compositor = nullptr;
        wl_shm* shm = nullptr;
        wl_seat* seat = nullptr;
        std::uint32_t seatCapabilities = 0;
        std::vector<Output> outputs;
        zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
        std::uint32_t pointerManagerVersion = 0;
        zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
        zwlr_layer_shell_v1* layerShell = nullptr;
        // KWin's, offered only to a program its desktop entry lets have it.
        org_kde_kwin_fake_input* fakeInput = nullptr;
        std::uint32_t fakeInputVersion = 0;
        zxdg_output_manager_v1* outputManager = nullptr;
    };

    // Null (with why) when the compositor cannot be reached or lacks what
    // playback needs.
    static std::unique_ptr<WaylandSession> connect(std::string& why);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Runs work on the session's thread and waits for it to finish (at once
    // when called on that thread).
    void run(const std::function<void()>& work);
    // Runs work on the session's thread later, in the order posted.
    void post(std::function<void()> work);
    bool onThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

    // Only on the session's thread.
    wl_display* display() const { return m_display; }
    Globals& globals() { return m_globals; }
    // Waits (on the session's thread) for the compositor to handle every
    // request sent so far; false when the connection is gone.
    bool roundtrip();

    // The first output, where the normalized 0..65535 space lies, and the
    // box around every output. Any thread.
    Rect primary() const;
    Rect layout() const;
    wl_output* primaryOutput() const; // only on the session's thread

private:
    WaylandSession() = default;
    void loop();
    void serve();
    void runQueued();
    void drain();
    void updatePrimary();
    void watchOutput(Output& o);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    Globals m_globals;
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    Rect m_primary;
    Rect m_layout;
    int m_wake = -1;     // eventfd the other threads write to
    bool m_dead = false; // the loop has ended: work runs where it is handed over
    std::atomic<bool> m_stop{false};
    std::thread m_thread;

    friend struct SessionListeners;
};

} // namespace pressmark::platform::wayland
