// What the recorder samples: every press with its root position, whatever
// its length, and whether it landed on one of our own windows.
#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QWidget>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/x11/PointerX11.h"
#include "platform/x11/X11Util.h"

namespace pressmark::x11test {
namespace {

using platform::MouseButton;
using platform::Point;
using platform::Press;

std::vector<Press> collect(platform::x11::PointerX11& ptr, std::size_t atLeast) {
    std::vector<Press> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline && got.size() < atLeast) {
        pump(std::chrono::milliseconds(10));
        auto more = ptr.takePresses();
        got.insert(got.end(), more.begin(), more.end());
    }
    pump(std::chrono::milliseconds(200)); // anything extra would show now
    auto more = ptr.takePresses();
    got.insert(got.end(), more.begin(), more.end());
    return got;
}

TEST(PointerX11, EveryPressIsSeenOnceWithItsPositionWhateverItsLength) {
    platform::x11::PointerX11 ptr(display());
    ptr.startSampling();
    ASSERT_TRUE(ptr.sampling());
    const struct {
        const char* name;
        QStringList actions;
        Press expected;
    } cases[] = {
        {"click, 0 ms", {"mousemove", "101", "202", "click", "1"}, {MouseButton::Left, {101, 202}}},
        {"5 ms",
         {"mousemove", "303", "404", "mousedown", "1", "sleep", "0.005", "mouseup", "1"},
         {MouseButton::Left, {303, 404}}},
        {"500 ms",
         {"mousemove", "505", "606", "mousedown", "1", "sleep", "0.5", "mouseup", "1"},
         {MouseButton::Left, {505, 606}}},
        {"right click",
         {"mousemove", "707", "808", "click", "3"},
         {MouseButton::Right, {707, 808}}},
        {"middle is not ours", {"mousemove", "9", "9", "click", "2"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(xdotool(c.actions), 0);
        const auto got = collect(ptr, 1);
        if (c.expected.pos == Point{}) {
            EXPECT_TRUE(got.empty());
        } else {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], c.expected);
        }
    }
    // 30 fast clicks in a row, all of them.
    ASSERT_EQ(xdotool({"mousemove", "50", "60", "click", "--repeat", "30", "--delay", "1", "1"}),
              0);
    const auto burst = collect(ptr, 30);
    EXPECT_EQ(burst.size(), 30u);
    ptr.stopSampling();
}

TEST(PointerX11, NothingIsCollectedWhileSamplingIsOff) {
    platform::x11::PointerX11 ptr(display());
    ptr.startSampling();
    ptr.stopSampling();
    EXPECT_FALSE(ptr.sampling());
    ASSERT_EQ(xdotool({"mousemove", "70", "80", "click", "1"}), 0);
    pump(std::chrono::milliseconds(200));
    EXPECT_TRUE(ptr.takePresses().empty());
    ptr.startSampling();
    EXPECT_TRUE(collect(ptr, 0).empty()) << "a press from before the start";
    ptr.stopSampling();
}

// Our window at 100,100 (600x400) under a foreign one at 400,300 (600x400):
// only the part of ours that is not covered counts as ours. Run with and
// without a window manager (frames reparent both windows).
TEST(PointerX11, OwnWindowIsTheTopLevelUnderThePressWithAForeignOneOnTop) {
    QWidget own;
    own.setWindowTitle(QStringLiteral("own"));
    own.setGeometry(100, 100, 600, 400);
    own.show();
    pump(std::chrono::milliseconds(300));
    Target foreign({"--rect", "400,300,600,400", "--title", "foreign"});
    ASSERT_TRUE(foreign.started());
    // Openbox may place the newcomer under the active window; a window
    // manager honours a client's own request to go down.
    own.lower();
    xdotool({"windowraise", QString::number(foreign.winId())});
    pump(std::chrono::milliseconds(500));

    platform::x11::PointerX11 ptr(display());
    ptr.startSampling();
    const struct {
        const char* where;
        Point p;
        bool own;
    } cases[] = {
        {"overlap, foreign on top", {520, 420}, false},
        {"foreign alone", {900, 650}, false},
        {"bare root", {1800, 950}, false},
        // Last: under a window manager a click on ours raises it.
        {"ours alone", {150, 180}, true},
        {"ours, lower right, uncovered", {350, 480}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        EXPECT_EQ(ptr.isOwnWindowAt(c.p), c.own);
        ASSERT_EQ(
            xdotool({"mousemove", QString::number(c.p.x), QString::number(c.p.y), "click", "1"}),
            0);
        const auto got = collect(ptr, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].ownWindow, c.own);
        pump(std::chrono::milliseconds(300));
    }
    ptr.stopSampling();
}

// Our window goes on the press: it hides itself, as the recording page's
// buttons do on their click, or, pressed on its frame, the window manager
// minimises it, as its minimise button does. The recorded copy is read only
// after that, and the press is still ours. Run with and without a window
// manager (without one, there is no frame).
TEST(PointerX11, OwnWindowIsWhereThePressLandedThoughItGoesAtOnce) {
    struct HidesOnPress : QWidget {
        bool pressed = false;
        void mousePressEvent(QMouseEvent*) override {
            pressed = true;
            hide();
        }
    };
    for (const bool onFrame : {false, true}) {
        SCOPED_TRACE(onFrame ? "on the frame" : "on the window");
        HidesOnPress own;
        own.setGeometry(100, 100, 300, 200);
        own.show();
        pump(std::chrono::milliseconds(500));
        Point at{200, 180};
        if (onFrame) {
            const Window frame = platform::x11::rootLevelOf(display(), own.winId());
            if (frame == own.winId()) {
                continue;
            }
            XWindowAttributes a{};
            XGetWindowAttributes(display(), frame, &a);
            at = Point{a.x + a.width / 2, a.y + 4};
            ASSERT_LT(at.y, 100) << "no title bar above the window";
        }
        platform::x11::PointerX11 ptr(display());
        ptr.startSampling();
        // The recorded copy is not read as it arrives, as when Qt handles its
        // own copy of the press first.
        auto* notifier = ptr.findChild<QSocketNotifier*>();
        ASSERT_NE(notifier, nullptr);
        notifier->setEnabled(false);
        ASSERT_EQ(
            xdotool({"mousemove", QString::number(at.x), QString::number(at.y), "click", "1"}), 0);
        QElapsedTimer t;
        t.start();
        while (!onFrame && !own.pressed && t.elapsed() < 5000) {
            pump(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(own.pressed, !onFrame);
        if (onFrame) {
            pump(std::chrono::milliseconds(300));
            own.showMinimized();
        }
        for (int i = 0; i < 100 && ptr.isOwnWindowAt(at); ++i) {
            pump(std::chrono::milliseconds(20));
        }
        EXPECT_FALSE(ptr.isOwnWindowAt(at)) << "the window is still there";
        const auto got = ptr.takePresses();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got[0].ownWindow);
        ptr.stopSampling();
    }
}

TEST(PointerX11, PrimaryScreenIsTheRootWhenNoMonitorIsPrimary) {
    platform::x11::PointerX11 ptr(display());
    const platform::Rect r = ptr.primaryScreen();
    EXPECT_EQ(r, (platform::Rect{0, 0, DisplayWidth(display(), DefaultScreen(display())),
                                 DisplayHeight(display(), DefaultScreen(display()))}));
    ASSERT_EQ(xdotool({"mousemove", "321", "123"}), 0);
    EXPECT_EQ(ptr.cursorPos(), (Point{321, 123}));
}

} // namespace
} // namespace pressmark::x11test
