#include "platform/Platform.h"
#include "platform/fake/FakePlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::FakePlatform;
using platform::MouseButton;
using platform::Point;
using platform::Rect;

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { fake.install(); }
    FakePlatform fake;
};

struct ScaleCase {
    Rect screen;
    int pixel;
    int expected;
};

TEST_F(PlatformTest, ScaleToAbsoluteRoundsHalfToEvenOnTheQuotientTimesPixel) {
    const std::vector<ScaleCase> cases = {
        {{0, 0, 1920, 1080}, 960, 32768},
        {{0, 0, 1920, 1080}, 64, 2184},
        {{0, 0, 1920, 1080}, 1919, 65501},
        {{0, 0, 1920, 1080}, 0, 0},
        {{0, 0, 1280, 1024}, 384, 19660},
        {{0, 0, 1280, 1024}, 640, 32768},
        {{0, 0, 1920, 1080}, -10, -341},
        {{0, 0, 1920, 1080}, 1920, 65535},
        // A primary monitor away from the root origin: its left edge is 0.
        {{1024, 0, 1920, 1080}, 1024, 0},
        {{1024, 0, 1920, 1080}, 1024 + 960, 32768},
    };
    for (const auto& c : cases) {
        fake.setScreen(c.screen);
        Point p{c.pixel, 0};
        dev::ScaleToAbsolute(p);
        EXPECT_EQ(p.x, c.expected) << "width " << c.screen.width << " pixel " << c.pixel;
        EXPECT_EQ(p.y, 0);
    }
}

TEST_F(PlatformTest, ScaleToAbsoluteUsesTheHeightForY) {
    fake.setScreen({0, 0, 1920, 1080});
    Point p{0, 1080};
    dev::ScaleToAbsolute(p);
    EXPECT_EQ(p.y, 65535); // with the width it would be 32768
    p = {0, 540};
    dev::ScaleToAbsolute(p);
    EXPECT_EQ(p.y, 32768); // 32767.5 goes to the even neighbour
}

TEST_F(PlatformTest, ScaleToAbsoluteIsInvertedByTheReplayRuleForEveryPixel) {
    // Playback turns n back into primary.x + (n * W + 32767) / 65535; every
    // recorded pixel must come back exactly, for widths that divide 65535
    // and widths that do not.
    for (int width : {640, 1023, 1280, 1366, 1920, 2560, 3840, 7680}) {
        fake.setScreen({0, 0, width, 100});
        for (int px = 0; px < width; ++px) {
            Point p{px, 0};
            dev::ScaleToAbsolute(p);
            const long long back = (static_cast<long long>(p.x) * width + 32767) / 65535;
            ASSERT_EQ(back, px) << "width " << width;
        }
    }
}

TEST_F(PlatformTest, MovesGoUnscaledAndClicksAreAPressAndAReleaseAndNothingElse) {
    fake.setScreen({0, 0, 1920, 1080});
    dev::MoveTo(12, 34);
    dev::LeftClick();
    dev::RightClick();
    EXPECT_EQ(fake.transcript(),
              (std::vector<std::string>{"move(12,34)", "down(L)", "up(L)", "down(R)", "up(R)"}));
}

TEST_F(PlatformTest, TypingAnEmptyTextSendsNothing) {
    dev::TypeText("");
    EXPECT_TRUE(fake.transcript().empty());
    dev::TypeText("Ab1 ё");
    EXPECT_EQ(fake.actionLine(), "type(Ab1 ё)");
}

struct DelayCase {
    int ms;
    std::vector<std::string> transcript;
};

TEST_F(PlatformTest, DelayWaitsTheWholeDurationInSlicesOfFifty) {
    const std::vector<DelayCase> cases = {
        {0, {}},
        {-5, {}},
        {-2147483647 - 1, {}},
        {1, {"sleep(1)"}},
        {49, {"sleep(49)"}},
        {50, {"sleep(50)", "pump"}},
        {99, {"sleep(50)", "pump", "sleep(49)", "pump"}},
        {100, {"sleep(50)", "pump", "sleep(50)", "pump"}},
        {151, {"sleep(50)", "pump", "sleep(50)", "pump", "sleep(50)", "pump", "sleep(1)", "pump"}},
    };
    for (const auto& c : cases) {
        fake.clearTranscript();
        const auto before = fake.nowMs();
        sf::Delay(c.ms);
        EXPECT_EQ(fake.transcript(), c.transcript) << c.ms << " ms";
        EXPECT_EQ(fake.nowMs() - before, c.ms > 0 ? c.ms : 0) << c.ms << " ms";
    }
}

TEST_F(PlatformTest, DelayEndsAtTheFirstEventPassAfterStopIsRequested) {
    bool stop = false;
    fake.at(120, [&] { stop = true; });
    const bool stopped = sf::Delay(1000, [&] { return stop; });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(fake.nowMs(), 150);
    fake.clearTranscript();
    EXPECT_FALSE(sf::Delay(100, [] { return false; }));
    EXPECT_EQ(fake.nowMs(), 250);
}

TEST_F(PlatformTest, StripLineBreaksRemovesEveryCrAndLfAndNothingElse) {
    EXPECT_EQ(sf::StripLineBreaks("ab\r\ncd"), "abcd");
    EXPECT_EQ(sf::StripLineBreaks("\r\n\n\r\r"), "");
    EXPECT_EQ(sf::StripLineBreaks("a\tb\n"), "a\tb");
    EXPECT_EQ(sf::StripLineBreaks("при\nвет"), "привет");
}

TEST_F(PlatformTest, ReplaceAllReplacesEveryOccurrenceOnce) {
    EXPECT_EQ(sf::ReplaceAll("aXbxcx", "x", "-"), "aXb-c-");
    // Non-overlapping, and replaced text is not searched again.
    EXPECT_EQ(sf::ReplaceAll("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(sf::ReplaceAll("abc", "b", "bb"), "abbc");
    EXPECT_EQ(sf::ReplaceAll("abc", "", "x"), "abc");
}

TEST(AppDirTest, CutsAfterTheLastDelimiterAndAppendsOne) {
    EXPECT_EQ(appDirFromExecutable("D:\\Tools\\p.exe", true), "D:\\Tools\\");
    EXPECT_EQ(appDirFromExecutable("C:\\p.exe", true), "C:\\\\");
    EXPECT_EQ(appDirFromExecutable("C:p.exe", true), "C:\\");
    EXPECT_EQ(appDirFromExecutable("/opt/pressmark/pressmark", false), "/opt/pressmark/");
    EXPECT_EQ(appDirFromExecutable("/pressmark", false), "/");
}

TEST_F(PlatformTest, AppDirComesFromTheExecutablePath) {
#ifdef _WIN32
    fake.setExecutablePath("C:\\Tools\\pressmark.exe");
    EXPECT_EQ(sf::AppDir(), "C:\\Tools\\");
#else
    fake.setExecutablePath("/home/u/bin/pressmark");
    EXPECT_EQ(sf::AppDir(), "/home/u/bin/");
#endif
}

TEST_F(PlatformTest, SetHotKeyReRegistersUnderTheIdPlusBaseAndReportsRefusal) {
    EXPECT_TRUE(sf::SetHotKey(5, 'q', platform::ModControl));
    EXPECT_TRUE(sf::SetHotKey(5, 'Q', platform::ModControl));
    EXPECT_TRUE(sf::SetHotKey(6, 'W', platform::ModAlt));
    EXPECT_EQ(fake.actionLine(), "unhotkey(5555) hotkey(5555,Q,2) unhotkey(5555) hotkey(5555,Q,2) "
                                 "unhotkey(5556) hotkey(5556,W,1)");
    fake.refuseHotKey(5557);
    EXPECT_FALSE(sf::SetHotKey(7, 'Q', platform::ModAlt));
    EXPECT_EQ(fake.hotKeys().count(5557), 0u);
    int fired = 0;
    fake.setHandler([&](int id) { fired = id; });
    fake.fireHotKey(5556);
    EXPECT_EQ(fired, 5556);
}

TEST_F(PlatformTest, NoticeKindsAndResults) {
    fake.answerNotice(true);
    EXPECT_TRUE(Notice("q", 3));
    fake.answerNotice(false);
    EXPECT_FALSE(Notice("q", 3));
    fake.answerNotice(true); // only a question can say yes
    EXPECT_FALSE(Notice("e", 2));
    EXPECT_FALSE(Notice("nothing", 7));
    ASSERT_EQ(fake.shown().size(), 3u);
    EXPECT_EQ(fake.shown()[2].kind, 2);
}

TEST_F(PlatformTest, AskValueGivesTheInitialValueOnCancelUnlessAskedToTellThem) {
    fake.answerAsk(std::nullopt);
    EXPECT_EQ(AskValue("0", "p", "c"), "0");
    fake.answerAsk(std::string{});
    EXPECT_EQ(AskValue("0", "p", "c"), "");
    fake.answerAsk(std::nullopt);
    EXPECT_EQ(AskValueOrCancel("0", "p", "c"), std::nullopt);
    EXPECT_EQ(fake.shown()[0].caption, "c");
    EXPECT_EQ(fake.shown()[0].initial, "0");
}

TEST(FakePlatformTest, ActionsFoldSleepsAndKeepOrder) {
    FakePlatform fake;
    fake.install();
    dev::MoveTo(1, 2);
    sf::Delay(120);
    sf::Delay(30);
    dev::LeftClick();
    net::SetProxy("h:1", true);
    net::ClearCache();
    EXPECT_EQ(fake.actionLine(), "move(1,2) wait(150) down(L) up(L) proxy(h:1,1) clearCache");
}

TEST(FakePlatformTest, NothingIsForwardedAfterTheFakeIsGone) {
    {
        FakePlatform fake;
        fake.install();
    }
    EXPECT_THROW(dev::LeftClick(), std::logic_error);
}

} // namespace
} // namespace pressmark
