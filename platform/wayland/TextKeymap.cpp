#include "TextKeymap.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace pressmark::platform::wayland {
namespace {

// The keysym's name in a keymap. Characters from U+0100 up go by their
// Unicode keysym: GTK 3 drops some of the legacy ones (per mille, for one).
std::string keysymName(char32_t c) {
    if (c == U'\n') {
        return "Return";
    }
    if (c == U'\t') {
        return "Tab";
    }
    char name[64];
    if (c < 0x100) {
        if (xkb_keysym_get_name(xkb_utf32_to_keysym(c), name, sizeof name) > 0) {
            return name;
        }
    }
    std::snprintf(name, sizeof name, "U%04X", static_cast<unsigned>(c));
    return name;
}

std::string keymapText(const std::vector<char32_t>& chars) {
    std::string codes;
    std::string symbols;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const std::string key = "<K" + std::to_string(i) + ">";
        codes += "  " + key + " = " + std::to_string(i + 9) + ";\n";
        symbols += "  key " + key + " { [ " + keysymName(chars[i]) + " ] };\n";
    }
    return "xkb_keymap {\n"
           "xkb_keycodes \"pressmark\" {\n  minimum = 8;\n  maximum = " +
           std::to_string(std::max<std::size_t>(chars.size() + 8, 9)) + ";\n" + codes +
           "};\n"
           "xkb_types \"pressmark\" { include \"complete\" };\n"
           "xkb_compatibility \"pressmark\" { include \"complete\" };\n"
           "xkb_symbols \"pressmark\" {\n" +
           symbols + "};\n};\n";
}

bool control(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// Reads CR LF and a lone CR as one line break; every character goes to
// type, or is counted skipped when it is a control character other than a
// line break or a tab.
template <typename Type> void eachCharacter(std::u32string_view text, int& skipped, Type type) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == U'\r') {
            if (i + 1 < text.size() && text[i + 1] == U'\n') {
                continue; // CR LF is one line break
            }
            c = U'\n';
        }
        if (control(c) && c != U'\n' && c != U'\t') {
            ++skipped;
            continue;
        }
        type(c);
    }
}

} // namespace

LayoutPlan planLayoutText(xkb_keymap* keymap, std::u32string_view text,
                          std::uint32_t preferredGroup, bool canSwitch) {
    LayoutPlan plan;
    const xkb_layout_index_t groups = keymap ? xkb_keymap_num_layouts(keymap) : 0;
    if (preferredGroup >= groups) {
        preferredGroup = 0;
    }
    // Where each character is, the preferred layout searched first, each
    // key's plain level before its Shift level, as the layout's own state
    // reads it.
    std::map<char32_t, LayoutKey> where;
    const std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(
        keymap ? xkb_state_new(keymap) : nullptr, &xkb_state_unref);
    const xkb_mod_index_t shiftIndex =
        keymap ? xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT) : XKB_MOD_INVALID;
    for (xkb_layout_index_t n = 0; state && n < (canSwitch ? groups : 1); ++n) {
        const xkb_layout_index_t group = (preferredGroup + n) % groups;
        for (const bool shift : {false, true}) {
            if (shift && shiftIndex == XKB_MOD_INVALID) {
                continue;
            }
            xkb_state_update_mask(state.get(), shift ? 1u << shiftIndex : 0, 0, 0, 0, 0, group);
            const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
            for (xkb_keycode_t code = std::max<xkb_keycode_t>(xkb_keymap_min_keycode(keymap), 8);
                 code <= last; ++code) {
                const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.get(), code);
                char32_t c = 0;
                if (sym == XKB_KEY_Return) {
                    c = U'\n';
                } else if (sym == XKB_KEY_Tab) {
                    c = U'\t';
                } else {
                    c = xkb_keysym_to_utf32(sym);
                }
                if (c != 0 && (!control(c) || c == U'\n' || c == U'\t')) {
                    where.emplace(c, LayoutKey{group, code - 8, shift});
                }
            }
        }
    }
    eachCharacter(text, plan.skipped, [&](char32_t c) {
        const auto found = where.find(c);
        if (found == where.end()) {
            ++plan.skipped;
            return;
        }
        plan.keys.push_back(found->second);
        ++plan.typed;
    });
    return plan;
}

TextPlan planText(std::u32string_view text, std::size_t maxKeys) {
    TextPlan plan;
    std::vector<char32_t> chars;
    std::map<char32_t, std::uint32_t> codeOf;
    std::vector<std::uint32_t> keys;
    const auto flush = [&] {
        if (!keys.empty()) {
            plan.chunks.push_back(KeymapChunk{keymapText(chars), std::move(keys)});
        }
        chars.clear();
        codeOf.clear();
        keys.clear();
    };
    eachCharacter(text, plan.skipped, [&](char32_t c) {
        auto found = codeOf.find(c);
        if (found == codeOf.end()) {
            if (chars.size() == maxKeys) {
                flush();
            }
            chars.push_back(c);
            // evdev code n is xkb keycode n + 8; the keymap starts at 9.
            found = codeOf.emplace(c, static_cast<std::uint32_t>(chars.size())).first;
        }
        keys.push_back(found->second);
        ++plan.typed;
    });
    flush();
    return plan;
}

std::string initialKeymap() {
    return keymapText({U' '});
}

} // namespace pressmark::platform::wayland
