#include "SwayDesktop.h"

#include "HotKeysSway.h"
#include "SwayIpc.h"

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace pressmark::platform::wayland {
namespace {

class SwayDesktop final : public Desktop {
public:
    explicit SwayDesktop(std::unique_ptr<SwayIpc> ipc) : m_ipc(std::move(ipc)) {}

    std::optional<Window> windowAt(Point p) override {
        const auto tree = m_ipc->tree();
        if (!tree) {
            return std::nullopt;
        }
        const auto w = wayland::windowAt(*tree, p);
        if (!w) {
            return std::nullopt;
        }
        return Window{w->id, w->pid == ::getpid()};
    }

    void setTypingTarget(std::optional<long> windowId) override {
        std::lock_guard lock(m_mutex);
        m_target = windowId;
    }

    // While recording, the window pressed last gets the focus back (the
    // prompt that asked for the text has just taken it); in playback, the
    // focus is awaited where the last click landed.
    void beforeTyping(std::optional<Point> lastClick) override {
        std::optional<long> target;
        {
            std::lock_guard lock(m_mutex);
            target = m_target;
        }
        if (target) {
            m_ipc->command("[con_id=" + std::to_string(*target) + "] focus");
            waitForFocus(*target, focusWait);
        } else if (lastClick) {
            if (const auto w = windowAt(*lastClick); w && !w->own) {
                waitForFocus(w->id, clickFocusWait);
            }
        }
    }

    // How long typing waits for the window it brings forward, and for the
    // focus to follow a click.
    static constexpr std::chrono::milliseconds focusWait{500};
    static constexpr std::chrono::milliseconds clickFocusWait{1500};

private:
    void waitForFocus(long id, std::chrono::milliseconds longest) {
        const auto until = std::chrono::steady_clock::now() + longest;
        do {
            if (const auto tree = m_ipc->tree()) {
                if (const auto f = focusedWindow(*tree); f && f->id == id) {
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < until);
    }

    std::unique_ptr<SwayIpc> m_ipc;
    std::mutex m_mutex;
    std::optional<long> m_target;
};

} // namespace

std::optional<SwayServices> makeSwayServices() {
    auto ipc = SwayIpc::connect();
    if (!ipc) {
        return std::nullopt;
    }
    SwayServices s;
    s.desktop = std::make_unique<SwayDesktop>(std::move(ipc));
    s.hotKeys = HotKeysSway::create();
    return s;
}

} // namespace pressmark::platform::wayland
