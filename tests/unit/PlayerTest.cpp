#include "EngineFixture.h"
#include "player/clickerPlay.h"
#include "base/AppError.h"
#include "base/Cp1251.h"
#include "platform/Platform.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using Outcome = clickerPlay::Outcome;

// Failures said as the window says them, so that the transcript shows when.
class SayingEvents final : public FakeEvents {
public:
    void failed(Failure why) override {
        FakeEvents::failed(why);
        Notice(MainWindow::failureNotice(why), NoticeError);
    }
};

class PlayerTest : public EngineTest {
protected:
    // Selects a scenario written from the given lines.
    void select(std::string_view lines, std::string_view name = "s") {
        selected = writeScenario(name, lines);
    }
    // A player of the selected file with its settings; repeat overrides.
    clickerPlay player(std::optional<int> repeat = std::nullopt) {
        const auto s = scenario::loadSettings(selected).value_or(scenario::Settings{});
        return clickerPlay(selected, s.speed, repeat.value_or(s.repeat), said);
    }
    Outcome play() {
        clickerPlay p = player();
        fake.clearTranscript();
        return p.run();
    }
    std::vector<std::string> noticeLines() const {
        std::vector<std::string> out;
        for (const auto& e : fake.transcript()) {
            if (e.rfind("notice(", 0) == 0) {
                out.push_back(e);
            }
        }
        return out;
    }
    static std::string repeatLine(const std::string& line, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) {
            out += (out.empty() ? "" : " ") + line;
        }
        return out;
    }

    std::filesystem::path selected;
    SayingEvents said;
};

// --- the run ---

TEST_F(PlayerTest, ThreeStepsPlayedTwiceGiveThisTranscript) {
    select("[sett]\nsleep=300\nrepeat=2\nComments=demo\n"
           "[1]\nx=100\ny=200\nkey=1\n"
           "[2]\nx=300\ny=400\nkey=2\ntext=abc\nsleep=200\n"
           "[3]\nx=65535\ny=0\nkey=1\nsetproxy=h:8080\nccookies=1\n");
    EXPECT_EQ(play(), Outcome::Finished);
    const std::string once = "move(100,200) down(L) up(L) wait(300) "
                             "move(300,400) down(R) up(R) type(abc) wait(500) "
                             "move(65535,0) down(L) up(L) proxy(h:8080,1) clearCache wait(300)";
    EXPECT_EQ(fake.actionLine(), once + " " + once);
    EXPECT_EQ(fake.nowMs(), 2 * 1100);
}

TEST_F(PlayerTest, EachStepHandlesPendingEventsOnceBeforeItsWait) {
    select("[sett]\nsleep=0\n[1]\nx=1\ny=1\nkey=1\n[2]\nx=2\ny=2\nkey=1\n");
    play();
    EXPECT_EQ(fake.transcript(),
              (std::vector<std::string>{"move(1,1)", "down(L)", "up(L)", "pump", "move(2,2)",
                                        "down(L)", "up(L)", "pump"}));
}

struct WaitCase {
    const char* sett;
    const char* stepSleep;
    const char* waits; // what follows the click
};

TEST_F(PlayerTest, TheWaitIsTheBaseDelayPlusTheStepPauseAndNeverNegative) {
    const std::vector<WaitCase> cases = {
        {"sleep=300", "-200", " wait(100)"}, // two slices of 50
        {"sleep=300", "-300", ""},
        {"sleep=300", "-500", ""},
        {"sleep=0", "0", ""},               // speed 10000: no wait at all
        {"", "0", ""},                      // a missing sleep is speed 10000 too
        {"sleep=10000", "0", " wait(300)"}, // speed 0 becomes 9700
        {"sleep=9999", "0", " wait(9999)"},
        {"sleep=49", "0", " wait(49)"},
        {"sleep=0", "1234", " wait(1234)"},
        {"sleep=-100", "0", ""}, // speed 10100: a negative base delay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sett) + " / " + c.stepSleep);
        select(std::string("[sett]\n") + c.sett + "\n[1]\nx=5\ny=6\nkey=1\nsleep=" + c.stepSleep +
               "\n");
        play();
        EXPECT_EQ(fake.actionLine(), std::string("move(5,6) down(L) up(L)") + c.waits);
    }
}

struct KeyCase {
    const char* lines;
    const char* clicks;
};

TEST_F(PlayerTest, OnlyKeyOneIsALeftClickAndMissingKeysPlayTheirDefaults) {
    const std::vector<KeyCase> cases = {
        {"x=1\ny=2\nkey=1", "move(1,2) down(L) up(L)"},
        {"x=1\ny=2\nkey=2", "move(1,2) down(R) up(R)"},
        {"x=1\ny=2\nkey=0", "move(1,2) down(R) up(R)"},
        {"x=1\ny=2\nkey=5", "move(1,2) down(R) up(R)"},
        {"x=1\ny=2\nkey=-1", "move(1,2) down(R) up(R)"},
        {"x=1\ny=2\nkey= 1", "move(1,2) down(L) up(L)"},
        {"x=$10\ny=0x10\nkey=1", "move(16,16) down(L) up(L)"},
        {"a=b", "move(0,0) down(R) up(R)"},
        {"x=abc\ny=\nkey=left", "move(0,0) down(R) up(R)"},
        {"x=1\ny=2\nkey=1\ntext=\nsetproxy=\nccookies=0", "move(1,2) down(L) up(L)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        select(std::string("[sett]\n[1]\n") + c.lines + "\n");
        play();
        EXPECT_EQ(fake.actionLine(), c.clicks);
    }
}

struct SectionsCase {
    const char* what;
    const char* lines;
    const char* played; // the x of each step played, in order
};

TEST_F(PlayerTest, OnlyStepSectionsArePlayedEachOnceInNumericOrder) {
    const std::vector<SectionsCase> cases = {
        {"a file with only [sett]", "[sett]\nsleep=0\n", ""},
        {"[0] is never clicked", "[sett]\n[0]\nx=7\n[1]\nx=1\n[2]\nx=2\n", "1 2"},
        {"no [sett]: every step is played", "[1]\nx=1\n[2]\nx=2\n[3]\nx=3\n", "1 2 3"},
        {"gaps make no phantom clicks", "[sett]\n[1]\nx=1\n[3]\nx=3\n[10]\nx=10\n", "1 3 10"},
        {"numeric order, not file order", "[10]\nx=10\n[2]\nx=2\n[sett]\n[1]\nx=1\n", "1 2 10"},
        {"names that are not step numbers",
         "[01]\nx=91\n[+1]\nx=92\n[-1]\nx=93\n[1a]\nx=94\n[10000]\nx=95\n[notes]\nx=96\n"
         "[9999]\nx=9999\n",
         "9999"},
        {"a repeated section plays once", "[1]\nx=1\n[2]\nx=2\n[1]\nx=3\n", "1 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        select(c.lines);
        play();
        std::string played;
        for (const auto& a : fake.actions()) {
            if (a.rfind("move(", 0) == 0) {
                played += (played.empty() ? "" : " ") + a.substr(5, a.find(',') - 5);
            }
        }
        EXPECT_EQ(played, c.played);
    }
}

TEST_F(PlayerTest, SectionZeroActionsRunAtTheStartOfEachRepetitionWithoutAClick) {
    select("[sett]\nsleep=300\nrepeat=2\n[0]\nsetproxy=p:1\nccookies=1\nsleep=500\ntext=no\n"
           "x=9\n[1]\nx=1\ny=1\nkey=1\n");
    EXPECT_EQ(play(), Outcome::Finished);
    EXPECT_EQ(fake.actionLine(), repeatLine("proxy(p:1,1) clearCache wait(500) "
                                            "move(1,1) down(L) up(L) wait(300)",
                                            2));

    // Its own pause only: no base delay, and a negative one is no wait.
    for (const char* pause : {"0", "-100"}) {
        select(std::string("[sett]\nsleep=300\n[0]\nsleep=") + pause + "\n[1]\nx=1\ny=1\nkey=1\n");
        play();
        EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(300)") << pause;
    }
}

TEST_F(PlayerTest, ProgressIsReportedBeforeEachStep) {
    select("[sett]\nrepeat=2\n[1]\n[2]\n");
    // The transcript's length at each report: each step adds move, down, up, pump.
    class Seen final : public RunEvents {
    public:
        explicit Seen(const platform::FakePlatform& fake) : m_fake(fake) {}
        void step(const Progress& p) override {
            seen.push_back(std::to_string(p.step) + "/" + std::to_string(p.steps) + " " +
                           std::to_string(p.repetition) + "/" + std::to_string(p.repetitions) +
                           " " + std::to_string(m_fake.transcript().size()));
        }
        void failed(Failure) override { seen.push_back("failed"); }
        std::vector<std::string> seen;

    private:
        const platform::FakePlatform& m_fake;
    } events(fake);
    clickerPlay player(selected, scenario::kMaxSpeed, 2, events);
    fake.clearTranscript();
    player.run();
    EXPECT_EQ(events.seen,
              (std::vector<std::string>{"1/2 1/2 0", "2/2 1/2 4", "1/2 2/2 8", "2/2 2/2 12"}));
}

TEST_F(PlayerTest, TheRepeatCountGivenIsPlayedWhateverTheFileSays) {
    select("[sett]\nrepeat=5\n[1]\nx=1\ny=1\nkey=1\n");
    clickerPlay twice = player(2);
    EXPECT_EQ(twice.repeatCount(), 2);
    fake.clearTranscript();
    twice.run();
    EXPECT_EQ(fake.actionLine(), repeatLine("move(1,1) down(L) up(L)", 2));
    clickerPlay never = player(0);
    fake.clearTranscript();
    EXPECT_EQ(never.run(), Outcome::Finished);
    EXPECT_EQ(fake.actionLine(), "");
}

// A clock whose every sleep ends late, like a real system's.
class LateClock final : public platform::Clock {
public:
    explicit LateClock(std::chrono::nanoseconds late) : m_late(late) {}
    std::chrono::nanoseconds now() override { return m_now; }
    void sleepFor(std::chrono::nanoseconds d) override {
        m_now += d + m_late;
        asked.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    }
    void processEvents() override {}
    std::vector<std::int64_t> asked;

private:
    std::chrono::nanoseconds m_late;
    std::chrono::nanoseconds m_now{0};
};

TEST_F(PlayerTest, WaitsRepayTheOvershootOfEarlierSleepsSoThatNoDriftAccumulates) {
    using namespace std::chrono_literals;
    std::string lines = "[sett]\nsleep=10\n";
    for (int n = 1; n <= 100; ++n) {
        lines += "[" + std::to_string(n) + "]\n";
    }
    select(lines);
    struct Case {
        std::chrono::nanoseconds late;
        std::int64_t minDriftNs;
        std::int64_t maxDriftNs;
    };
    for (const Case c : {Case{300us, 0, 1'300'000}, Case{0ns, 0, 0},
                         // Repaid 2 ms a wait at most: 100 x 4 ms late, 99 x 2 ms repaid.
                         Case{4ms, 202'000'000, 202'000'000}}) {
        SCOPED_TRACE(c.late.count());
        LateClock clock(c.late);
        platform::install({&fake, &fake, &fake, &fake, &fake, &clock});
        clickerPlay p = player();
        p.run();
        const std::int64_t drift = clock.now().count() - 100 * 10'000'000LL;
        EXPECT_GE(drift, c.minDriftNs);
        EXPECT_LE(drift, c.maxDriftNs);
        // A wait is never shortened by more than 2 ms.
        EXPECT_GE(*std::min_element(clock.asked.begin(), clock.asked.end()), 8);
        fake.install();
    }
}

// --- stopping ---

TEST_F(PlayerTest, AStopDuringAWaitEndsItAtTheNextEventPassAndNothingFollows) {
    select("[sett]\nsleep=300\n[1]\nx=1\ny=1\nkey=1\n[2]\nx=2\ny=2\nkey=1\n[3]\nx=3\ny=3\nkey=1\n");
    clickerPlay p = player();
    fake.clearTranscript();
    fake.at(fake.nowMs() + 420, [] { requestStop(); });
    EXPECT_EQ(p.run(), Outcome::Stopped);
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(300) move(2,2) down(L) up(L) "
                                 "wait(150)");
}

TEST_F(PlayerTest, AStopHandledInTheStepsEventPassEndsTheRunBeforeItsWait) {
    select("[sett]\nsleep=300\nrepeat=3\n[1]\nx=1\ny=1\nkey=1\n[2]\nx=2\ny=2\nkey=1\n");
    int passes = 0;
    fake.onPump([&] {
        if (++passes == 1) {
            requestStop();
        }
    });
    EXPECT_EQ(play(), Outcome::Stopped);
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L)");
}

TEST_F(PlayerTest, AStopDuringTheSectionZeroPauseClicksNothing) {
    select("[sett]\n[0]\nsleep=1000\n[1]\nx=1\ny=1\nkey=1\n");
    clickerPlay p = player();
    fake.clearTranscript();
    fake.at(fake.nowMs() + 100, [] { requestStop(); });
    EXPECT_EQ(p.run(), Outcome::Stopped);
    EXPECT_EQ(fake.actionLine(), "wait(100)");
}

TEST_F(PlayerTest, AStopDuringTheLastWaitOfTheLastRepetitionChangesNothingVisible) {
    select("[sett]\nsleep=300\nrepeat=2\n[1]\nx=1\ny=1\nkey=1\n");
    clickerPlay p = player();
    fake.clearTranscript();
    fake.at(fake.nowMs() + 400, [] { requestStop(); });
    EXPECT_EQ(p.run(), Outcome::Stopped);
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(300) move(1,1) down(L) up(L) "
                                 "wait(100)");
}

TEST_F(PlayerTest, ARunClearsAStopRequestedBeforeIt) {
    select("[sett]\nsleep=10000\n[1]\nx=1\ny=1\nkey=1\n");
    requestStop();
    ASSERT_TRUE(stopRequested());
    EXPECT_EQ(play(), Outcome::Finished);
    EXPECT_FALSE(stopRequested());
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(300)");
}

// --- the settings a run takes ---

TEST_F(PlayerTest, ThePlayerKeepsTheSpeedTheTrackbarHadToLimit) {
    select("[sett]\nsleep=-200\n[1]\nx=1\ny=1\nkey=1\nsleep=250\n");
    clickerPlay p = player();
    EXPECT_EQ(p.speed(), 10200);
    fake.clearTranscript();
    p.run();
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(50)");
}

TEST_F(PlayerTest, AFileThatDidNotExistWhenThePlayerWasMadeIsNotFound) {
    selected = file("gone");
    clickerPlay p = player();
    writeScenario("gone", "[1]\nx=1\n");
    EXPECT_EQ(p.run(), Outcome::NotFound);
    EXPECT_EQ(noticeLines(), std::vector<std::string>{"notice(2,Сценарий не найден!)"});
    EXPECT_EQ(fake.actionLine().find("move"), std::string::npos);
}

TEST_F(PlayerTest, AFileChangedDuringTheRunIsPlayedAsItNowReadsAndAGoneFileEndsIt) {
    select("[sett]\nsleep=100\n[1]\nx=1\ny=1\nkey=1\n[2]\nx=2\ny=2\nkey=1\n"
           "[3]\nx=3\ny=3\nkey=1\n[4]\nx=4\ny=4\nkey=1\n");
    // Another program rewrites the file during the first wait: step 2 is
    // gone, step 3 moved; then it deletes the file during the next wait.
    fake.at(50, [this] {
        writeScenario("s", "[sett]\nsleep=100\n[1]\nx=1\ny=1\nkey=1\n"
                           "[3]\nx=333\ny=3\nkey=1\n[4]\nx=4\ny=4\nkey=1\n");
    });
    fake.at(150, [this] { std::filesystem::remove(selected); });
    EXPECT_EQ(play(), Outcome::NotFound);
    EXPECT_EQ(fake.actionLine(),
              "move(1,1) down(L) up(L) wait(100) move(333,3) down(L) up(L) wait(100) "
              "notice(2,Сценарий не найден!)");
}

// The store reads a file over its limit as empty; the run says why it plays
// nothing, whether the file is that large from the start or grows so.
TEST_F(PlayerTest, AFileOverTheStoresLimitIsSaidToBeTooLarge) {
    select("[sett]\nsleep=100\n[1]\nx=1\ny=1\nkey=1\n[2]\nx=2\ny=2\nkey=1\n");
    fake.at(50, [this] { std::filesystem::resize_file(selected, ProfileStore::kFileLimit + 1); });
    EXPECT_EQ(play(), Outcome::NotFound);
    const std::string tooLarge = "notice(2,Файл сценария слишком большой!)";
    EXPECT_EQ(fake.actionLine(), "move(1,1) down(L) up(L) wait(100) " + tooLarge);
    EXPECT_EQ(play(), Outcome::NotFound);
    EXPECT_EQ(fake.actionLine(), tooLarge);
}

TEST_F(PlayerTest, AProxyFailureEndsTheRunAtThatStep) {
    select("[sett]\nsleep=300\n[1]\nx=1\ny=1\nkey=1\nsetproxy=bad:1\nccookies=1\n"
           "[2]\nx=2\ny=2\nkey=1\n");
    fake.failProxyWith("ProxyServer");
    try {
        clickerPlay p = player();
        fake.clearTranscript();
        p.run();
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to set data for 'ProxyServer'");
    }
    EXPECT_EQ(fake.transcript(),
              (std::vector<std::string>{"move(1,1)", "down(L)", "up(L)", "proxy(bad:1,1)"}));
    EXPECT_TRUE(said.failures.empty());
}

TEST_F(PlayerTest, ACyrillicTextAndProxyArePassedAsStored) {
    // The file holds code page 1251; the platform gets UTF-8.
    select("[1]\nkey=1\ntext=" + cp1251::fromUtf8Lossy("Привет") +
           "\nsetproxy=" + cp1251::fromUtf8Lossy("прокси:1") + "\n");
    play();
    EXPECT_EQ(fake.actionLine(), "move(0,0) down(L) up(L) type(Привет) proxy(прокси:1,1)");
}

} // namespace
} // namespace pressmark
