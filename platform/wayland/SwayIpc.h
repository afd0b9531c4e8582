#pragma once

#include "platform/Backend.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::platform::wayland {

// A synchronous client of sway's IPC socket: each message is "i3-ipc", the
// payload's length and the message type (both 32 bits, native byte order),
// then the JSON payload. One connection serves one caller at a time: every
// method takes the connection's lock, so two threads may share it (the
// overlay recorder asks for the tree from the Wayland thread while the main
// thread may ask too). A reply that does not come within a few seconds
// breaks the connection rather than block its caller for good.
class SwayIpc {
public:
    enum Type : std::uint32_t {
        RunCommand = 0,
        GetWorkspaces = 1,
        Subscribe = 2,
        GetOutputs = 3,
        GetTree = 4,
        GetVersion = 7,
        GetConfig = 9,
    };
    // Set in the type of every event sway sends to a subscribed connection.
    static constexpr std::uint32_t EventBit = 0x80000000u;

    struct Message {
        std::uint32_t type = 0;
        std::string payload;
    };

    // Null when SWAYSOCK is unset (socketPath null) or nobody answers there.
    static std::unique_ptr<SwayIpc> connect(const char* socketPath = nullptr);
    ~SwayIpc();
    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    // RUN_COMMAND: true when every command in it succeeded, else false with
    // the error text of the first failure.
    bool command(std::string_view commands, std::string* error = nullptr);
    // The raw JSON reply; nullopt when the connection failed.
    std::optional<std::string> request(std::uint32_t type, std::string_view payload);
    std::optional<std::string> tree(); // GET_TREE

    // SUBSCRIBE to a JSON array of event names (["binding"]); the events then
    // queue up for takeEvents.
    bool subscribe(std::string_view eventsJson);
    // The events that have arrived, read without waiting (for a notifier on
    // fd()); false in *open when sway closed the connection.
    std::vector<Message> takeEvents(bool* open = nullptr);

    int fd() const;
    const std::string& socketPath() const;

private:
    SwayIpc(int fd, std::string path);
    bool sendLocked(std::uint32_t type, std::string_view payload);
    // Reads what the socket holds, waiting up to timeoutMs for the first byte.
    bool readSomeLocked(int timeoutMs);
    std::optional<Message> parseLocked();

    mutable std::mutex m_mutex;
    int m_fd;
    std::string m_path;
    std::string m_in; // bytes received and not yet parsed
    std::deque<Message> m_events;
    bool m_broken = false;
};

struct SwayWindow {
    long id = 0;
    int pid = 0;
    Rect rect;
    bool focused = false;
};

// From a GET_TREE reply: the window that is visible at p (root/layout
// pixels): floating windows over tiled ones (later floating nodes above
// earlier ones), only each output's visible workspace, a fullscreen window
// over everything on its output; nullopt over no window (a gap, an empty
// workspace, a border between outputs).
std::optional<SwayWindow> windowAt(std::string_view treeJson, Point p);
std::optional<SwayWindow> focusedWindow(std::string_view treeJson);

} // namespace pressmark::platform::wayland
