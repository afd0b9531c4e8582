// Which layout, key and level KWin's fake input must press for each
// character, read from a keymap with the layouts us and ru as KDE users
// configure them.
#include "platform/wayland/TextKeymap.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace pressmark::platform::wayland {
namespace {

struct Case {
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
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const LayoutPlan plan = planLayoutText(keymap.get(), c.text, c.preferred, c.canSwitch);
        EXPECT_EQ(plan.keys, c.keys) << c.name;
        EXPECT_EQ(plan.typed, static_cast<int>(c.keys.size())) << c.name;
        EXPECT_EQ(plan.skipped, c.skipped) << c.name;
    }
}

} // namespace
} // namespace pressmark::platform::wayland
