#pragma once

#include "Desktop.h"
#include "platform/Backend.h"

#include <memory>
#include <optional>

namespace pressmark::platform::wayland {

// What sway adds over its IPC socket: where its windows are, which is ours,
// which has the focus, and the hot keys.
struct SwayServices {
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<HotKeys> hotKeys;
};

// nullopt when no sway answers at SWAYSOCK.
std::optional<SwayServices> makeSwayServices();

} // namespace pressmark::platform::wayland
