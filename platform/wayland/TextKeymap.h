#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::platform::wayland {

// A virtual keyboard types what its keymap names: each text is typed through
// keymaps made for it, one key per distinct character, so that every
// character arrives as it is whatever the user's own layout.
struct KeymapChunk {
    std::string keymap;              // xkb keymap text (v1 format)
    std::vector<std::uint32_t> keys; // evdev key codes to press, in order
};

struct TextPlan {
    std::vector<KeymapChunk> chunks;
    int typed = 0;   // characters the keys produce
    int skipped = 0; // control characters no key stands for
};

// Line breaks become Return (CR LF one Return), tabs Tab; other control
// characters are skipped. A chunk names at most maxKeys distinct characters;
// a longer variety of characters is typed in several chunks, each with its
// keymap.
TextPlan planText(std::u32string_view text, std::size_t maxKeys = 200);

// The keymap every virtual keyboard starts with (it must have one before its
// first key): a single key that nothing presses.
std::string initialKeymap();

} // namespace pressmark::platform::wayland
