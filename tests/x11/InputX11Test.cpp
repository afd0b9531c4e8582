// Clicks injected through dev.MoveTo and dev.LeftClick/RightClick, checked
// where they land: in the log of a foreign program covering the screen.
#include <QApplication>
#include <QProcess>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/Platform.h"
#include "platform/x11/X11Backend.h"

#include <cstdint>
#include <functional>
#include <random>

namespace pressmark::x11test {
namespace {

using platform::Point;

class InputX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::x11::x11Available());
        m_backend = platform::x11::makeBackend();
        m_backend->install();
    }
    std::unique_ptr<platform::x11::X11Backend> m_backend;
};

LoggedPress clickAt(Point pixel, bool right) {
    Point n = pixel;
    dev::ScaleToAbsolute(n);
    dev::MoveTo(n.x, n.y);
    if (right) {
        dev::RightClick();
    } else {
        dev::LeftClick();
    }
    return LoggedPress{right ? 3 : 1, pixel.x, pixel.y};
}

TEST_F(InputX11Test, RandomClicksLandOnTheExactPixel) {
    const platform::Rect screen = platform::backend().pointer->primaryScreen();
    Target target({"--rect", QStringLiteral("0,0,%1,%2").arg(screen.width).arg(screen.height)});
    ASSERT_TRUE(target.started());
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> xs(0, screen.width - 1);
    std::uniform_int_distribution<int> ys(0, screen.height - 1);
    std::vector<LoggedPress> expected;
    for (int i = 0; i < 50; ++i) {
        expected.push_back(clickAt(Point{xs(rng), ys(rng)}, i % 5 == 4));
        // Far enough apart in time that no two make a double click.
        pump(std::chrono::milliseconds(i % 2 ? 0 : 20));
    }
    EXPECT_TRUE(target.waitFor([&] { return target.presses().size() >= expected.size(); }));
    target.settle();
    EXPECT_EQ(target.presses(), expected);
}

TEST_F(InputX11Test, ExtremesOfTheNormalizedSpaceAreTheCorners) {
    const platform::Rect screen = platform::backend().pointer->primaryScreen();
    Target target({"--rect", QStringLiteral("0,0,%1,%2").arg(screen.width).arg(screen.height)});
    ASSERT_TRUE(target.started());
    const struct {
        int nx, ny, px, py;
    } cases[] = {
        {0, 0, 0, 0},
        {65535, 65535, screen.width - 1, screen.height - 1},
        {65535, 0, screen.width - 1, 0},
        {0, 65535, 0, screen.height - 1},
        {32768, 32768, screen.width / 2, screen.height / 2},
        // Hand-edited values far off the screen stay at its edge.
        {99999999, 0, screen.width - 1, 0},
        {INT32_MAX, INT32_MAX, screen.width - 1, screen.height - 1},
        {-99999999, 65535, 0, screen.height - 1},
        {INT32_MIN, INT32_MIN, 0, 0},
    };
    std::vector<LoggedPress> expected;
    for (const auto& c : cases) {
        dev::MoveTo(c.nx, c.ny);
        dev::LeftClick();
        expected.push_back(LoggedPress{1, c.px, c.py});
        pump(std::chrono::milliseconds(30));
    }
    EXPECT_TRUE(target.waitFor([&] { return target.presses().size() >= expected.size(); }));
    EXPECT_EQ(target.presses(), expected);
}

// Two monitors side by side on one screen; the primary one is the left or
// the right. A press recorded anywhere replays on the same pixel, also on the
// monitor that is not primary (negative or above-65535 positions).
TEST_F(InputX11Test, PressOnEitherMonitorRoundTripsThroughRecordingAndReplay) {
    const Display* dpy = display();
    ASSERT_NE(dpy, nullptr);
    const int w = DisplayWidth(display(), DefaultScreen(display()));
    const int h = DisplayHeight(display(), DefaultScreen(display()));
    ASSERT_GE(w, 2 * 640);
    const int half = w / 2;
    Target target({"--rect", QStringLiteral("0,0,%1,%2").arg(w).arg(h)});
    ASSERT_TRUE(target.started());
    // A monitor cannot be set again under its own name: drop both after
    // each case, and at the end whatever happens.
    const auto dropMonitors = [] {
        for (const char* name : {"L", "R"}) {
            QProcess p;
            p.start(QStringLiteral("xrandr"), {"--delmonitor", name});
            p.waitForFinished();
        }
    };
    struct AtExit {
        std::function<void()> f;
        ~AtExit() { f(); }
    } atExit{dropMonitors};

    const struct {
        const char* primary;
        Point pixel;
    } cases[] = {
        {"L", {half + 220, 300}}, {"L", {17, h - 1}}, {"R", {100, 200}}, {"R", {half + 5, 7}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.primary) + " primary");
        const QString l = QStringLiteral("%1/300x%2/300+0+0").arg(half).arg(h);
        const QString r = QStringLiteral("%1/300x%2/300+%1+0").arg(half).arg(h);
        ASSERT_EQ(run("xrandr", {"--setmonitor", c.primary[0] == 'L' ? "*L" : "L", l, "none"}), 0);
        ASSERT_EQ(run("xrandr", {"--setmonitor", c.primary[0] == 'R' ? "*R" : "R", r, "none"}), 0);
        const platform::Rect primary = platform::backend().pointer->primaryScreen();
        EXPECT_EQ(primary, (platform::Rect{c.primary[0] == 'L' ? 0 : half, 0, half, h}));

        platform::Pointer& ptr = *platform::backend().pointer;
        ptr.startSampling();
        const std::size_t before = target.presses().size();
        ASSERT_EQ(xdotool({"mousemove", QString::number(c.pixel.x), QString::number(c.pixel.y),
                           "click", "1"}),
                  0);
        std::vector<platform::Press> got;
        target.waitFor([&] {
            auto more = ptr.takePresses();
            got.insert(got.end(), more.begin(), more.end());
            return !got.empty();
        });
        ptr.stopSampling();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].pos, c.pixel);

        xdotool({"mousemove", "0", "0"});
        pump(std::chrono::milliseconds(400)); // no double click with the next
        Point n = got[0].pos;
        dev::ScaleToAbsolute(n);
        dev::MoveTo(n.x, n.y);
        dev::LeftClick();
        EXPECT_TRUE(target.waitFor([&] { return target.presses().size() >= before + 2; }));
        ASSERT_EQ(target.presses().size(), before + 2);
        EXPECT_EQ(target.presses().back(), (LoggedPress{1, c.pixel.x, c.pixel.y}));
        dropMonitors();
        pump(std::chrono::milliseconds(400));
    }
}

} // namespace
} // namespace pressmark::x11test
