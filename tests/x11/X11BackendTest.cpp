// The pure part of the injection (pixel rounding) and the backend's
// behaviour without an X11 display.
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Util.h"

namespace pressmark::x11test {
namespace {

struct FixedScreen final : platform::Pointer {
    platform::Rect screen;
    void startSampling() override {}
    void stopSampling() override {}
    std::vector<platform::Press> takePresses() override { return {}; }
    platform::Point cursorPos() override { return {}; }
    platform::Rect primaryScreen() override { return screen; }
    bool isOwnWindowAt(platform::Point) override { return false; }
};

// Every pixel the recorder converts comes back to itself on replay, for
// every width, on the primary monitor and beyond it on either side.
TEST(X11Util, ReplayPixelIsTheRecordedPixelForEveryWidth) {
    FixedScreen ptr;
    platform::install(platform::Backend{nullptr, &ptr, nullptr, nullptr, nullptr, nullptr});
    for (const int w : {1, 2, 3, 640, 799, 1024, 1279, 1280, 1366, 1920, 2560, 3840, 7680, 65535}) {
        ptr.screen = platform::Rect{0, 0, w, w};
        int mismatches = 0;
        for (int px = -w; px < 2 * w; ++px) {
            platform::Point p{px, 0};
            dev::ScaleToAbsolute(p);
            if (platform::normalizedToPixel(p.x, w) != px) {
                ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0) << "width " << w;
    }
    platform::install(platform::Backend{});
    const struct {
        std::int64_t n, w, px;
    } edges[] = {{0, 1920, 0},     {65535, 1920, 1920}, {65534, 1920, 1920},  {32768, 1920, 960},
                 {2184, 1920, 64}, {-1, 1920, 0},       {-17, 1920, 0},       {-18, 1920, -1},
                 {-52, 1920, -2},  {-35, 1920, -1},     {131070, 1280, 2560}, {65535, 1, 1},
                 {32767, 1, 0}};
    for (const auto& e : edges) {
        EXPECT_EQ(platform::normalizedToPixel(e.n, e.w), e.px) << e.n << " over " << e.w;
    }
}

// Run on Qt's offscreen platform: the backend exists, says it is not on
// X11, and its input, pointer and hot keys do nothing instead of crashing.
TEST(X11BackendWithoutX11, InertButSafe) {
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    EXPECT_FALSE(platform::x11::x11Available());
    auto backend = platform::x11::makeBackend();
    EXPECT_FALSE(backend->onX11());
    backend->install();
    dev::MoveTo(100, 100);
    dev::LeftClick();
    const platform::TypeReport r = dev::TypeText("abc");
    EXPECT_EQ(r.typed, 0);
    EXPECT_EQ(r.skipped, 3);
    EXPECT_FALSE(sf::SetHotKey(5, 'Q', platform::ModControl));
    EXPECT_FALSE(sf::AppDir().empty());
}

} // namespace
} // namespace pressmark::x11test
