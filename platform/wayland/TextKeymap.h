#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct xkb_keymap;

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

// A compositor that takes only key codes (KWin's fake input) types them
// through the layouts the user has: each character is looked up in the
// user's keymap, and the layout holding it is made the active one while its
// key is pressed.
struct LayoutKey {
    std::uint32_t group = 0;     // the layout, as the keymap counts them
    std::uint32_t evdevCode = 0; // the key
    bool shift = false;          // the character is on the key's second level
    friend bool operator==(const LayoutKey&, const LayoutKey&) = default;
};

struct LayoutPlan {
    std::vector<LayoutKey> keys; // in the order typed
    int typed = 0;
    int skipped = 0; // characters no layout of the keymap holds, and control ones
};

// The keys for text in keymap. A character found in several layouts is taken
// from the preferred one (the active layout: no switch); with switching off
// only that layout is used. Line breaks and tabs as in planText.
LayoutPlan planLayoutText(xkb_keymap* keymap, std::u32string_view text,
                          std::uint32_t preferredGroup, bool canSwitch);

// The keymap every virtual keyboard starts with (it must have one before its
// first key): a single key that nothing presses.
std::string initialKeymap();

} // namespace pressmark::platform::wayland
