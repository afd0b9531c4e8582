#pragma once

#include "InputWayland.h"

#include <optional>

namespace pressmark::platform::wayland {

// What the compositor tells about its windows beyond the Wayland protocols
// (sway: its IPC), for the recorder and for typing.
class Desktop : public TypingFocus {
public:
    struct Window {
        long id = 0;
        bool own = false; // one of this program's windows
    };
    // The window visible at a layout pixel; nullopt over none. Any thread.
    virtual std::optional<Window> windowAt(Point p) = 0;
    // While recording, text goes to the foreign window pressed last: set on
    // every foreign press, cleared when recording ends. Any thread.
    virtual void setTypingTarget(std::optional<long> windowId) = 0;
};

} // namespace pressmark::platform::wayland
