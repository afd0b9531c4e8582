// dev.TypeText into a real text field of another process, under several
// keyboard layouts, with Caps Lock off and on, while both cores are busy.
#include <QApplication>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/Platform.h"
#include "platform/x11/InputX11.h"
#include "base/Cp1251.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace pressmark::x11test {
namespace {

struct Layout {
    const char* name;
    const char* setxkbmap;
    int lockedGroup;
};

struct TypingCase {
    Layout layout;
    bool caps;
};

std::string caseName(const ::testing::TestParamInfo<TypingCase>& info) {
    std::string n = info.param.layout.name;
    n += info.param.caps ? "_CapsOn" : "_CapsOff";
    return n;
}

int emptyKeycodes(Display* dpy) {
    int min = 0;
    int max = 0;
    XDisplayKeycodes(dpy, &min, &max);
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(dpy, static_cast<KeyCode>(min), max - min + 1, &per);
    int count = 0;
    for (int k = 0; k <= max - min; ++k) {
        bool none = true;
        for (int i = 0; i < per; ++i) {
            none = none && syms[k * per + i] == NoSymbol;
        }
        count += none ? 1 : 0;
    }
    XFree(syms);
    return count;
}

class TypingX11Test : public ::testing::TestWithParam<TypingCase> {
protected:
    static void SetUpTestSuite() { s_busy = new BusyCores; }
    static void TearDownTestSuite() {
        delete s_busy;
        s_busy = nullptr;
        run("setxkbmap", {"us"});
    }
    void SetUp() override {
        m_input = std::make_unique<platform::x11::InputX11>(display());
        m_input->setSettleTime(std::chrono::milliseconds(300));
        m_clock = std::make_unique<NullClock>();
        platform::install(
            platform::Backend{m_input.get(), nullptr, nullptr, nullptr, nullptr, m_clock.get()});
    }
    void TearDown() override {
        XkbLockModifiers(display(), XkbUseCoreKbd, LockMask, 0);
        XSync(display(), False);
        platform::install(platform::Backend{});
    }

    struct NullClock final : platform::Clock {
        std::chrono::nanoseconds now() override { return {}; }
        void sleepFor(std::chrono::nanoseconds) override {}
        void processEvents() override {}
    };

    static BusyCores* s_busy;
    std::unique_ptr<platform::x11::InputX11> m_input;
    std::unique_ptr<NullClock> m_clock;
};
BusyCores* TypingX11Test::s_busy = nullptr;

TEST_P(TypingX11Test, TextArrivesAsTyped) {
    const TypingCase& c = GetParam();
    Display* dpy = display();
    ASSERT_EQ(run("setxkbmap", {"-layout", c.layout.setxkbmap}), 0);
    XkbLockGroup(dpy, XkbUseCoreKbd, static_cast<unsigned>(c.layout.lockedGroup));
    XkbLockModifiers(dpy, XkbUseCoreKbd, LockMask, c.caps ? LockMask : 0);
    XSync(dpy, False);
    const int sparesBefore = emptyKeycodes(dpy);

    Target target({"--title", "typing-target"});
    ASSERT_TRUE(target.started());
    ASSERT_TRUE(target.waitFor([&] { return target.focused(); }));
    for (const char* utf8 : {"Hello, World! 123 @#$%", "Привет, мир! Ёё"}) {
        SCOPED_TRACE(utf8);
        ASSERT_TRUE(target.clearText());
        const auto text = cp1251::fromUtf8(utf8);
        ASSERT_TRUE(text);
        const platform::TypeReport r = dev::TypeText(utf8);
        EXPECT_EQ(r.typed, static_cast<int>(text->size()));
        EXPECT_EQ(r.skipped, 0);
        target.waitFor([&] { return target.text() == utf8; });
        target.settle();
        EXPECT_EQ(target.text(), utf8);
    }

    XkbStateRec state{};
    XkbGetState(dpy, XkbUseCoreKbd, &state);
    EXPECT_EQ((state.locked_mods & LockMask) != 0, c.caps) << "Caps Lock restored";
    EXPECT_EQ(state.locked_group, c.layout.lockedGroup) << "layout untouched";
    m_input->restoreSpareKeys();
    EXPECT_EQ(emptyKeycodes(dpy), sparesBefore) << "borrowed keycodes given back";
}

const Layout layouts[] = {
    {"us", "us", 0},
    {"ru", "ru", 0},
    {"de", "de", 0},
    {"us_ru_locked_on_ru", "us,ru", 1},
};

INSTANTIATE_TEST_SUITE_P(
    Layouts, TypingX11Test,
    ::testing::Values(TypingCase{layouts[0], false}, TypingCase{layouts[0], true},
                      TypingCase{layouts[1], false}, TypingCase{layouts[1], true},
                      TypingCase{layouts[2], false}, TypingCase{layouts[2], true},
                      TypingCase{layouts[3], false}, TypingCase{layouts[3], true}),
    caseName);

// Ctrl still held from a hot key must not turn the text into shortcuts, and
// is down again afterwards; characters no key can make are counted, not
// typed as something else.
TEST(TypingX11, HeldControlIsLiftedForTheTextAndUntypableCharactersAreCounted) {
    run("setxkbmap", {"us"});
    platform::x11::InputX11 input(display());
    Target target({"--title", "typing-target"});
    ASSERT_TRUE(target.started());
    ASSERT_TRUE(target.waitFor([&] { return target.focused(); }));
    ASSERT_EQ(xdotool({"keydown", "ctrl"}), 0);
    // U+FFFD is what a scenario file's 0x98, no character in 1251, reads
    // as; 0x01 is a control character with no key.
    const std::string text = std::string("ab") + "\uFFFD" + '\x01' + "c";
    const platform::TypeReport r = input.typeText(text);
    EXPECT_EQ(r.typed, 3);
    EXPECT_EQ(r.skipped, 2);
    target.waitFor([&] { return target.text() == "abc"; });
    EXPECT_EQ(target.text(), "abc");
    char keys[32];
    XQueryKeymap(display(), keys);
    const KeyCode ctrl = XKeysymToKeycode(display(), XK_Control_L);
    EXPECT_TRUE(keys[ctrl / 8] & (1 << (ctrl % 8))) << "Ctrl is held again";
    xdotool({"keyup", "ctrl"});
}

} // namespace
} // namespace pressmark::x11test

namespace pressmark::x11test {
namespace {

// More distinct characters than the spare keycodes can carry on two levels:
// they arrive intact, the spares are remapped in one request per run rather
// than one per keycode (each request makes every client reread the keymap),
// and all are given back.
TEST(TypingX11, MoreDistinctCharactersThanSpareKeycodesArriveIntact) {
    run("setxkbmap", {"us"});
    BusyCores busy;
    const int sparesBefore = emptyKeycodes(display());
    // A client told of every keymap change.
    Display* watcher = XOpenDisplay(nullptr);
    ASSERT_NE(watcher, nullptr);
    int xkbEvent = 0;
    ASSERT_TRUE(XkbQueryExtension(watcher, nullptr, &xkbEvent, nullptr, nullptr, nullptr));
    XkbSelectEvents(watcher, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask);
    XSync(watcher, True);
    const char* utf8 = "Съешь же ещё этих мягких французских булок, да выпей чаю. "
                       "СЪЕШЬ ЖЕ ЕЩЁ ЭТИХ МЯГКИХ ФРАНЦУЗСКИХ БУЛОК, ДА ВЫПЕЙ ЧАЮ. "
                       "Ђђ Ѓѓ Єє Її Љљ Њњ Ћћ Ќќ Ўў Џџ Ґґ №€‰™";
    const auto text = cp1251::fromUtf8(utf8);
    ASSERT_TRUE(text);
    platform::x11::InputX11 input(display());
    Target target({"--title", "typing-target"});
    ASSERT_TRUE(target.started());
    ASSERT_TRUE(target.waitFor([&] { return target.focused(); }));
    const platform::TypeReport r = input.typeText(utf8);
    EXPECT_EQ(r.typed, static_cast<int>(text->size()));
    target.waitFor([&] { return target.text() == utf8; }, std::chrono::seconds(30));
    target.settle();
    EXPECT_EQ(target.text(), utf8);
    input.restoreSpareKeys();
    EXPECT_EQ(emptyKeycodes(display()), sparesBefore);
    XSync(watcher, False);
    int remaps = 0;
    while (XPending(watcher) > 0) {
        XEvent ev;
        XNextEvent(watcher, &ev);
        remaps +=
            ev.type == xkbEvent && reinterpret_cast<XkbAnyEvent*>(&ev)->xkb_type == XkbMapNotify
                ? 1
                : 0;
    }
    XCloseDisplay(watcher);
    EXPECT_GE(remaps, 2);
    // The server tells of one request in a few parts; one request per
    // keycode made over 60 here.
    EXPECT_LE(remaps, 16) << "a few runs and the restore";
}

} // namespace
} // namespace pressmark::x11test
