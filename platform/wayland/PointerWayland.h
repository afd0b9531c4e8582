#pragma once

#include "Desktop.h"
#include "InputWayland.h"
#include "WaylandSession.h"
#include "platform/Backend.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct wl_pointer;
struct wl_surface;
struct wl_buffer;
struct zwlr_layer_surface_v1;
struct wl_cursor_theme;

namespace pressmark::platform::wayland {

// Where clicks happen, which no Wayland protocol tells another program: while
// sampling, a transparent overlay on every output takes each press with its
// exact position, records it, and passes the click on to the window below
// through the virtual pointer (the overlay lets input through meanwhile).
// Clicks only: a drag or a scroll is not passed on while recording.
class PointerWayland final : public Pointer {
public:
    // None is owned; desktop may be null (own windows are then not told
    // apart).
    PointerWayland(WaylandSession& session, InputWayland& input, Desktop* desktop);
    ~PointerWayland() override;
    PointerWayland(const PointerWayland&) = delete;
    PointerWayland& operator=(const PointerWayland&) = delete;

    void startSampling() override;
    void stopSampling() override;
    std::vector<Press> takePresses() override;
    Point cursorPos() override;
    Rect primaryScreen() override;
    bool isOwnWindowAt(Point p) override;
    const char* cannotRecordReason() const override;
    // Where recording cannot work, why in this desktop's words (UTF-8); an
    // empty one keeps the general reason.
    void explainCannotRecord(std::string why) { m_cannotRecordWhy = std::move(why); }

    // Layer-shell callbacks, on the session's thread.
    struct Overlay {
        PointerWayland* owner = nullptr;
        Rect rect; // the output's, in layout pixels
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
        wl_buffer* buffer = nullptr;
        int width = 0;
        int height = 0;
        bool configured = false;
    };
    void configured(Overlay& o, std::uint32_t serial, int width, int height);
    void entered(wl_surface* surface, std::uint32_t serial, double x, double y);
    void moved(double x, double y);
    void pressed(std::uint32_t button, bool down);

private:
    void showOverlays();
    void hideOverlays();
    void passOn(std::uint32_t button);

    WaylandSession& m_session;
    InputWayland& m_input;
    Desktop* m_desktop;
    bool m_canRecord = false;
    std::string m_cannotRecordWhy;

    // On the session's thread.
    wl_pointer* m_pointer = nullptr;
    std::vector<Overlay*> m_overlays;
    Overlay* m_under = nullptr; // the overlay the pointer is over
    Point m_position;
    std::uint32_t m_held = 0; // the button pressed on the overlay, 0: none
    bool m_sampling = false;
    wl_cursor_theme* m_cursorTheme = nullptr;
    wl_surface* m_cursorSurface = nullptr;

    mutable std::mutex m_mutex;
    std::vector<Press> m_presses;
    Point m_lastSeen;
};

} // namespace pressmark::platform::wayland
