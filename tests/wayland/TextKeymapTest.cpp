#include "platform/wayland/TextKeymap.h"

#include "base/Utf8.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>
#include <vector>

namespace pressmark::platform::wayland {
namespace {

// What a client makes of the keys: each chunk's keymap compiled as the
// compositor and the client compile it, each key looked up in it.
std::string typedBy(const TextPlan& plan) {
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> ctx(
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
    std::string out;
    for (const KeymapChunk& chunk : plan.chunks) {
        std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
            xkb_keymap_new_from_string(ctx.get(), chunk.keymap.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                       XKB_KEYMAP_COMPILE_NO_FLAGS),
            xkb_keymap_unref);
        EXPECT_NE(keymap, nullptr) << chunk.keymap;
        if (!keymap) {
            return out;
        }
        std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap.get()),
                                                                     xkb_state_unref);
        for (const std::uint32_t key : chunk.keys) {
            const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.get(), key + 8);
            if (sym == XKB_KEY_Return) {
                out += '\n';
            } else if (sym == XKB_KEY_Tab) {
                out += '\t';
            } else {
                char buf[8] = {};
                xkb_state_key_get_utf8(state.get(), key + 8, buf, sizeof buf);
                out += buf;
            }
        }
    }
    return out;
}

std::string everyCp1251Character() {
    std::string text;
    for (char32_t c = 0x20; c < 0x7F; ++c) {
        text += utf8::encode(std::u32string(1, c));
    }
    return text + "ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—™љ›њќћџ\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї"
                  "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
}

TEST(TextKeymap, EveryCharacterComesOutOfItsKeyInOrderAcrossChunks) {
    struct Case {
        std::string text;
        std::size_t maxKeys;
        std::string typed;
        int skipped;
        std::size_t chunks;
    };
    const std::string all = everyCp1251Character();
    const Case cases[] = {
        {"Съешь же ещё этих мягких французских булок, да выпей чаю. Ёж № 42 — «ёлка»!", 200, "", 0,
         1},
        {all, 200, "", 0, 2},
        {"abcabd", 3, "", 0, 2},
        {"a\r\nb\rc\td\x01\x7f", 200, "a\nb\nc\td", 2, 1},
        {"", 200, "", 0, 0},
    };
    for (const Case& c : cases) {
        const TextPlan plan = planText(utf8::decode(c.text), c.maxKeys);
        const std::string want = c.typed.empty() ? c.text : c.typed;
        EXPECT_EQ(typedBy(plan), want) << c.text;
        EXPECT_EQ(plan.typed, static_cast<int>(utf8::decode(want).size())) << c.text;
        EXPECT_EQ(plan.skipped, c.skipped) << c.text;
        EXPECT_EQ(plan.chunks.size(), c.chunks) << c.text;
    }
}

// Which layout, key and level KWin's fake input must press for each
// character, read from a keymap with the layouts us and ru as KDE users
// configure them.
struct LayoutCase {
    const char* name;
    std::u32string text;
    std::uint32_t preferred;
    bool canSwitch;
    std::vector<LayoutKey> keys;
    int skipped;
};

TEST(LayoutPlan, KeysOfTheUsersLayouts) {
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), &xkb_context_unref);
    const xkb_rule_names names{"evdev", "pc105", "us,ru", "", ""};
    const std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
        &xkb_keymap_unref);
    ASSERT_NE(keymap, nullptr);
    const LayoutCase cases[] = {
        {"Latin, Shift for capitals", U"aA", 0, true, {{0, KEY_A, false}, {0, KEY_A, true}}, 0},
        {"Cyrillic from the second layout, Ё on Shift",
         U"жЁ",
         0,
         true,
         {{1, KEY_SEMICOLON, false}, {1, KEY_GRAVE, true}},
         0},
        {"the active layout first: a comma in ru is Shift+slash",
         U",",
         1,
         true,
         {{1, KEY_SLASH, true}},
         0},
        {"a comma in us", U",", 0, true, {{0, KEY_COMMA, false}}, 0},
        {"line breaks and tabs; CR LF is one",
         U"a\r\nb\t\rc",
         0,
         true,
         {{0, KEY_A, false},
          {0, KEY_ENTER, false},
          {0, KEY_B, false},
          {0, KEY_TAB, false},
          {0, KEY_ENTER, false},
          {0, KEY_C, false}},
         0},
        {"in no layout: guillemets, and a control character",
         U"«a»\x01",
         0,
         true,
         {{0, KEY_A, false}},
         3},
        {"no switching: only the active layout", U"жz", 0, false, {{0, KEY_Z, false}}, 1},
    };
    for (const LayoutCase& c : cases) {
        const LayoutPlan plan = planLayoutText(keymap.get(), c.text, c.preferred, c.canSwitch);
        EXPECT_EQ(plan.keys, c.keys) << c.name;
        EXPECT_EQ(plan.typed, static_cast<int>(c.keys.size())) << c.name;
        EXPECT_EQ(plan.skipped, c.skipped) << c.name;
    }
}

} // namespace
} // namespace pressmark::platform::wayland
