#include "TextKeymap.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <map>

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

} // namespace

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
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == U'\r') {
            if (i + 1 < text.size() && text[i + 1] == U'\n') {
                continue; // CR LF is one line break
            }
            c = U'\n';
        }
        if (control(c) && c != U'\n' && c != U'\t') {
            ++plan.skipped;
            continue;
        }
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
    }
    flush();
    return plan;
}

std::string initialKeymap() {
    return keymapText({U' '});
}

} // namespace pressmark::platform::wayland
