// Global hot keys pressed by an outside user (xdotool) while a foreign
// window has the focus.
#include <QApplication>
#include <QLineEdit>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/Backend.h"
#include "platform/x11/HotKeysX11.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace pressmark::x11test {
namespace {

using platform::ModAlt;
using platform::ModControl;

unsigned numLockMask(Display* dpy) {
    return XkbKeysymToModifiers(dpy, XK_Num_Lock);
}

void setLocks(Display* dpy, bool caps, bool num) {
    const unsigned mask = LockMask | numLockMask(dpy);
    const unsigned value = (caps ? LockMask : 0) | (num ? numLockMask(dpy) : 0);
    XkbLockModifiers(dpy, XkbUseCoreKbd, mask, value);
    XSync(dpy, False);
}

class HotKeysX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        auto* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        ASSERT_NE(x, nullptr);
        m_keys = std::make_unique<platform::x11::HotKeysX11>(x->display(), x->connection());
        m_keys->setHandler([this](int id) { m_fired.push_back(id); });
    }
    void TearDown() override { setLocks(display(), false, false); }

    std::vector<int> pressAndCollect(const QStringList& xdotoolArgs) {
        m_fired.clear();
        EXPECT_EQ(xdotool(xdotoolArgs), 0);
        pump(std::chrono::milliseconds(300));
        return m_fired;
    }

    std::unique_ptr<platform::x11::HotKeysX11> m_keys;
    std::vector<int> m_fired;
};

TEST_F(HotKeysX11Test, DeliveredWithTheLocksOnWhileAnotherWindowHasTheFocus) {
    Target other({"--title", "focus-holder"});
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(other.waitFor([&] { return other.focused(); }));
    ASSERT_TRUE(m_keys->registerHotKey(5555, 'Q', ModControl));
    ASSERT_TRUE(m_keys->registerHotKey(5557, 'Q', ModAlt));
    ASSERT_TRUE(m_keys->registerHotKey(5558, 'W', ModAlt));
    const struct {
        const char* name;
        bool caps, num;
    } locks[] = {{"no lock", false, false},
                 {"Caps Lock", true, false},
                 {"Num Lock", false, true},
                 {"both", true, true}};
    for (const auto& l : locks) {
        SCOPED_TRACE(l.name);
        setLocks(display(), l.caps, l.num);
        EXPECT_EQ(pressAndCollect({"key", "ctrl+q"}), std::vector<int>{5555});
        EXPECT_EQ(pressAndCollect({"key", "alt+q"}), std::vector<int>{5557});
        EXPECT_EQ(pressAndCollect({"key", "alt+w"}), std::vector<int>{5558});
        EXPECT_TRUE(pressAndCollect({"key", "ctrl+shift+q"}).empty()) << "another combination";
    }
    setLocks(display(), false, false);
    // The foreign window kept the focus and got none of them as text.
    other.settle();
    EXPECT_EQ(other.text(), "");
}

TEST_F(HotKeysX11Test, HeldKeyFiresOnceDespiteAutoRepeatAndAgainAfterRelease) {
    ASSERT_TRUE(m_keys->registerHotKey(5555, 'Q', ModControl));
    EXPECT_EQ(pressAndCollect({"keydown", "ctrl+q", "sleep", "1.2", "keyup", "q", "keyup", "ctrl"}),
              std::vector<int>{5555});
    EXPECT_EQ(pressAndCollect({"key", "ctrl+q"}), std::vector<int>{5555});
}

// With the focus on a window of our own the server reports the grabbed keys
// to that window rather than to the root; every press must still act once,
// however long it is held, in any order.
TEST_F(HotKeysX11Test, EveryPressActsWhileOurOwnWindowHasTheFocus) {
    QLineEdit own;
    own.setWindowTitle(QStringLiteral("own-focus"));
    own.show();
    own.activateWindow();
    const auto ownFocused = [&] {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display(), &focus, &revert);
        return focus == static_cast<Window>(own.winId());
    };
    for (int i = 0; i < 50 && !ownFocused(); ++i) {
        XSetInputFocus(display(), static_cast<Window>(own.winId()), RevertToParent, CurrentTime);
        pump(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(ownFocused());
    ASSERT_TRUE(m_keys->registerHotKey(5555, 'Q', ModControl));
    ASSERT_TRUE(m_keys->registerHotKey(5556, 'W', ModControl));
    ASSERT_TRUE(m_keys->registerHotKey(5557, 'Q', ModAlt));
    ASSERT_TRUE(m_keys->registerHotKey(5558, 'W', ModAlt));
    const struct {
        const char* mod;
        const char* key;
        int id;
    } combos[] = {{"ctrl", "q", 5555}, {"ctrl", "w", 5556}, {"alt", "q", 5557}, {"alt", "w", 5558}};
    for (int round = 0; round < 10; ++round) {
        for (const auto& c : combos) {
            SCOPED_TRACE(std::string(c.mod) + "+" + c.key + " round " + std::to_string(round));
            // Held as a hand holds it, and tapped.
            const QString hold = round % 2 ? QStringLiteral("0.15") : QStringLiteral("0.02");
            EXPECT_EQ(pressAndCollect({"keydown", c.mod, "keydown", c.key, "sleep", hold, "keyup",
                                       c.key, "keyup", c.mod}),
                      std::vector<int>{c.id});
        }
    }
    EXPECT_TRUE(own.text().isEmpty()) << "the grabbed keys reached the widget";
}

TEST_F(HotKeysX11Test, UnregisteredOrReRegisteredKeysFollowTheLastRegistration) {
    ASSERT_TRUE(m_keys->registerHotKey(5555, 'Q', ModControl));
    m_keys->unregisterHotKey(5555);
    EXPECT_TRUE(pressAndCollect({"key", "ctrl+q"}).empty());
    ASSERT_TRUE(m_keys->registerHotKey(5556, 'W', ModControl));
    ASSERT_TRUE(m_keys->registerHotKey(5556, 'E', ModControl));
    EXPECT_TRUE(pressAndCollect({"key", "ctrl+w"}).empty());
    EXPECT_EQ(pressAndCollect({"key", "ctrl+e"}), std::vector<int>{5556});
    EXPECT_FALSE(m_keys->registerHotKey(5559, 0x07, ModControl)) << "a code with no key";
}

// Another client holds Ctrl+E with Num Lock only: our first two grabs (plain,
// Caps Lock) succeed, the third fails. The registration must report failure
// and give the first two back.
TEST_F(HotKeysX11Test, CombinationHeldByAnotherClientIsReportedAndNothingIsLeftGrabbed) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode e = XKeysymToKeycode(other, XK_e);
    const unsigned num = numLockMask(other);
    XGrabKey(other, e, ControlMask | num, DefaultRootWindow(other), True, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);

    EXPECT_FALSE(m_keys->registerHotKey(5556, 'E', ModControl));
    EXPECT_TRUE(pressAndCollect({"key", "ctrl+e"}).empty());

    // A third client can now take the plain and Caps Lock variants: we hold
    // no leftover grab.
    Display* third = XOpenDisplay(nullptr);
    ASSERT_NE(third, nullptr);
    {
        XErrorTrap trap;
        XGrabKey(third, e, ControlMask, DefaultRootWindow(third), True, GrabModeAsync,
                 GrabModeAsync);
        XGrabKey(third, e, ControlMask | LockMask, DefaultRootWindow(third), True, GrabModeAsync,
                 GrabModeAsync);
        XSync(third, False);
        EXPECT_TRUE(XErrorTrap::codes().empty());
    }
    XCloseDisplay(third);
    XCloseDisplay(other);
    pump(std::chrono::milliseconds(100));
    EXPECT_TRUE(m_keys->registerHotKey(5556, 'E', ModControl)) << "free again";
}

TEST(HotKeysX11Keysyms, VirtualKeyCodesMapToTheirKeys) {
    using platform::x11::HotKeysX11;
    const struct {
        unsigned vk;
        KeySym sym;
    } cases[] = {{'A', XK_a},      {'Z', XK_z},     {'0', XK_0},      {'9', XK_9},
                 {0x70, XK_F1},    {0x87, XK_F24},  {0x60, XK_KP_0},  {0x69, XK_KP_9},
                 {0x20, XK_space}, {'@', NoSymbol}, {0x5B, NoSymbol}, {0x88, NoSymbol}};
    for (const auto& c : cases) {
        EXPECT_EQ(HotKeysX11::keysymForVirtualKey(c.vk), c.sym) << "vk " << c.vk;
    }
}

} // namespace
} // namespace pressmark::x11test
