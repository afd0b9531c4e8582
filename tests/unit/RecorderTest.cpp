#include "EngineFixture.h"
#include "recorder/clickerRec.h"
#include "base/AppError.h"
#include "base/Cp1251.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::MouseButton;
using platform::Point;
using What = platform::FakePlatform::Shown::What;

const char* const kNoRecording =
    "Вы должны сначала включить запись, чтобы использовать эту функцию.";
const char* const kNoClick =
    "Вы должны сначала нажать мышкой в том месте, где хотите чтоб появился текст.";

class RecorderTest : public EngineTest {
protected:
    void startRecording(const std::string& name = "rec") {
        ASSERT_TRUE(recording.start(folder, name));
        ASSERT_TRUE(recording.active());
    }
    std::string read(std::string_view section, std::string_view key) const {
        return ProfileStore(file("rec")).readString(section, key, "<none>");
    }
    std::vector<std::string> sections() const { return ProfileStore(file("rec")).sections(); }
    // The notices shown so far, as "kind:text".
    std::vector<std::string> notices() const {
        std::vector<std::string> out;
        for (const auto& s : fake.shown()) {
            if (s.what == What::Notice) {
                out.push_back(std::to_string(s.kind) + ":" + s.text);
            }
        }
        return out;
    }
    bool asked() const {
        for (const auto& s : fake.shown()) {
            if (s.what == What::Ask) {
                return true;
            }
        }
        return false;
    }
    void expectRecordingOff() const {
        EXPECT_FALSE(recording.active());
        EXPECT_FALSE(events.recording) << "the end was not reported";
        EXPECT_FALSE(fake.sampling());
    }

    Recording recording{events};
};

// --- start and stop ---

TEST_F(RecorderTest, StartWritesTheBaseDelayAndReportsTheRecordingStarted) {
    startRecording();
    EXPECT_EQ(contents(file("rec")), "[sett]\r\nsleep=300\r\n");
    EXPECT_TRUE(fake.sampling());
    EXPECT_TRUE(events.recording);
    EXPECT_EQ(events.starts, 1);
    EXPECT_EQ(events.stops, 0);
    EXPECT_TRUE(fake.shown().empty());
}

TEST_F(RecorderTest, StopEndsTheRecordingAndReportsItOnce) {
    startRecording();
    for (int i = 0; i < 10; ++i) {
        recording.tick(); // the indicator's turn at the 10th tick
    }
    ASSERT_EQ(events.blinks.size(), 1u);
    recording.stop();
    expectRecordingOff();
    EXPECT_EQ(events.stops, 1);
    // Ctrl+W with no recording on does nothing.
    recording.stop();
    EXPECT_EQ(events.stops, 1);
}

TEST_F(RecorderTest, InvalidNamesAreRefusedBeforeAnythingIsWritten) {
    for (const char* name : {"", "   ", "../../x", "a/b", "a\\b", "..", "a:b", "a?b", "a|b"}) {
        fake.clearTranscript();
        EXPECT_FALSE(recording.start(folder, name)) << name;
        EXPECT_EQ(fake.actionLine(), "notice(2,Недопустимое имя сценария!)") << name;
        EXPECT_FALSE(recording.active());
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path().parent_path() / "x.ini"));
    EXPECT_EQ(events.starts, 0);
}

TEST_F(RecorderTest, ReRecordingAskAndNoLeavesTheOldScenarioAlone) {
    const auto path = writeScenario("rec", "[sett]\nsleep=100\n[1]\nx=1\ny=2\nkey=1\n");
    const std::string before = contents(path);
    fake.answerNotice(false);
    EXPECT_FALSE(recording.start(folder, "rec"));
    EXPECT_EQ(notices(),
              std::vector<std::string>{"3:Сценарий с таким именем уже существует. Перезаписать?"});
    EXPECT_FALSE(recording.active());
    EXPECT_EQ(contents(path), before);
}

TEST_F(RecorderTest, ReRecordingRemovesEveryStepSectionAndKeepsTheSettings) {
    writeScenario("rec", "[sett]\nsleep=100\nrepeat=5\nComments=old\n[0]\nsleep=9\n"
                         "[1]\nx=1\ny=2\nkey=1\ntext=old\n[2]\nx=3\ny=4\nkey=2\n[notes]\na=b\n"
                         "[007]\nx=5\n[3]\nsetproxy=p\n");
    fake.answerNotice(true);
    startRecording();
    EXPECT_EQ(sections(), (std::vector<std::string>{"sett", "notes"}));
    EXPECT_EQ(read("sett", "sleep"), "300");
    EXPECT_EQ(read("sett", "repeat"), "5");
    EXPECT_EQ(read("sett", "Comments"), "old");
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    EXPECT_EQ(read("1", "text"), "<none>");
    EXPECT_EQ(sections(), (std::vector<std::string>{"sett", "notes", "1"}));
}

TEST_F(RecorderTest, RecordingAgainWhileOnEndsTheCurrentRecordingFirst) {
    startRecording("первый"); // a scenario name is UTF-8, as its file name
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    startRecording("second");
    EXPECT_EQ(events.stops, 1);
    EXPECT_EQ(events.starts, 2);
    EXPECT_TRUE(events.recording);
    EXPECT_TRUE(fake.sampling());
    EXPECT_EQ(recording.current()->stepCount(), 0);
    EXPECT_EQ(ProfileStore(file("первый")).sections(), (std::vector<std::string>{"sett", "1"}));
}

TEST_F(RecorderTest, AWriteFailureAtStartEndsTheRecordingAndIsReportedOnce) {
    const auto missing = folder / "missing";
    try {
        recording.start(missing, "rec");
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to write to ", 0), 0u) << e.what();
    }
    expectRecordingOff();
    EXPECT_EQ(events.starts, 0);
    EXPECT_EQ(events.stops, 1);
    EXPECT_NO_THROW(recording.tick());
}

TEST_F(RecorderTest, AWriteFailureInATickEndsTheRecordingAndIsReportedOnce) {
    startRecording();
    std::filesystem::remove_all(folder);
    fake.press(MouseButton::Left, {10, 10});
    EXPECT_THROW(recording.tick(), AppError);
    expectRecordingOff();
    fake.press(MouseButton::Left, {10, 10});
    EXPECT_NO_THROW(recording.tick());
    EXPECT_NO_THROW(recording.tick());
}

// --- the tick ---

struct TickCase {
    const char* what;
    std::vector<std::vector<platform::Press>> ticks; // the presses before each tick
    std::vector<std::vector<std::string>> steps;     // x, y, key of [1], [2], ...
};

TEST_F(RecorderTest, EveryPressOutsideTheProgramBecomesAStepAtItsOwnPosition) {
    using P = platform::Press;
    const auto L = MouseButton::Left;
    const auto R = MouseButton::Right;
    const std::vector<TickCase> cases = {
        {"one left press", {{P{L, {960, 0}, false}}}, {{"32768", "0", "1"}}},
        {"a left and a right press in one tick, left first",
         {{P{L, {64, 1080}, false}, P{R, {1919, 0}, false}}},
         {{"2184", "65535", "1"}, {"65501", "0", "2"}}},
        {"right before left in one tick keeps the order of the presses",
         {{P{R, {0, 0}, false}, P{L, {960, 0}, false}}},
         {{"0", "0", "2"}, {"32768", "0", "1"}}},
        {"two presses of one button between two ticks are two steps",
         {{P{L, {0, 0}, false}, P{L, {64, 0}, false}}},
         {{"0", "0", "1"}, {"2184", "0", "1"}}},
        {"presses on the program's own windows are dropped",
         {{P{L, {5, 5}, true}}, {P{R, {6, 6}, true}, P{L, {960, 0}, false}}, {}},
         {{"32768", "0", "1"}}},
        // The toggle-bit rule missed the first outside press after an odd
        // number of own-window presses of the same button.
        {"an outside press after one own-window press of the same button",
         {{P{L, {5, 5}, true}}, {P{L, {1919, 1080}, false}}},
         {{"65501", "65535", "1"}}},
        {"presses over several ticks continue the numbering",
         {{P{R, {0, 0}, false}}, {}, {P{L, {960, 1080}, false}}},
         {{"0", "0", "2"}, {"32768", "65535", "1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startRecording();
        for (const auto& presses : c.ticks) {
            for (const auto& p : presses) {
                fake.press(p.button, p.pos, p.ownWindow);
            }
            recording.tick();
        }
        EXPECT_EQ(recording.current()->stepCount(), static_cast<int>(c.steps.size()));
        std::vector<std::string> expectedSections{"sett"};
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const std::string section = std::to_string(i + 1);
            expectedSections.push_back(section);
            EXPECT_EQ(read(section, "x"), c.steps[i][0]) << section;
            EXPECT_EQ(read(section, "y"), c.steps[i][1]) << section;
            EXPECT_EQ(read(section, "key"), c.steps[i][2]) << section;
        }
        EXPECT_EQ(sections(), expectedSections);
        recording.stop();
        std::filesystem::remove(file("rec"));
    }
}

TEST_F(RecorderTest, AStepIsWrittenAsItsThreeKeysInOrder) {
    startRecording();
    fake.press(MouseButton::Right, {960, 0});
    recording.tick();
    EXPECT_EQ(contents(file("rec")), "[sett]\r\nsleep=300\r\n[1]\r\nx=32768\r\ny=0\r\nkey=2\r\n");
}

TEST_F(RecorderTest, PressesBeforeTheStartOrAfterTheStopAreNotRecorded) {
    fake.press(MouseButton::Left, {1, 1}); // not sampling yet
    startRecording();
    recording.tick();
    EXPECT_EQ(recording.current()->stepCount(), 0);
    recording.stop();
    fake.press(MouseButton::Left, {1, 1});
    recording.tick();
    EXPECT_EQ(sections(), std::vector<std::string>{"sett"});
}

TEST_F(RecorderTest, TheIndicatorChangesAtTheTenthTickThenEveryTwelve) {
    startRecording();
    for (int tick = 1; tick <= 50; ++tick) {
        if (tick % 7 == 0) {
            fake.press(MouseButton::Left, {1, 1}, true); // the cursor over our own window
        }
        events.ticks = tick;
        recording.tick();
    }
    EXPECT_EQ(events.blinks, (std::vector<int>{10, 22, 34, 46}));
    EXPECT_EQ(recording.current()->blinkCounter(), 2); // ... 10, 11, 0, 1, 2
}

TEST_F(RecorderTest, TheStepLimitIsTestedOncePerTickBeforeThePresses) {
    startRecording();
    recording.current()->continueAfter(9998);
    fake.press(MouseButton::Left, {0, 0});
    fake.press(MouseButton::Right, {960, 0});
    recording.tick();
    ASSERT_TRUE(recording.active());
    EXPECT_EQ(recording.current()->stepCount(), 10000);
    EXPECT_EQ(read("9999", "key"), "1");
    EXPECT_EQ(read("10000", "key"), "2");
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    expectRecordingOff();
    EXPECT_EQ(read("10001", "key"), "<none>");
    EXPECT_EQ(events.stops, 1);
}

// --- the recorded actions ---

TEST_F(RecorderTest, EveryActionWithoutARecordingIsRefusedAndWritesNothing) {
    for (auto action : {&Recording::insertDelay, &Recording::sendText, &Recording::changeProxy,
                        &Recording::purgeCache}) {
        (recording.*action)();
    }
    EXPECT_EQ(notices(), std::vector<std::string>(4, std::string("2:") + kNoRecording));
    EXPECT_FALSE(asked());
    EXPECT_EQ(events.prompts, 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(RecorderTest, SendTextNeedsAClickTheOtherActionsWriteIntoSectionZero) {
    startRecording();
    recording.sendText();
    EXPECT_EQ(notices(), std::vector<std::string>{std::string("2:") + kNoClick});
    EXPECT_FALSE(asked());
    EXPECT_EQ(events.prompts, 0);

    fake.answerAsk("250");
    recording.insertDelay();
    fake.answerAsk("proxy.local:3128");
    recording.changeProxy();
    fake.answerNotice(true);
    recording.purgeCache();
    EXPECT_EQ(read("0", "sleep"), "250");
    EXPECT_EQ(read("0", "setproxy"), "proxy.local:3128");
    EXPECT_EQ(read("0", "ccookies"), "1");
    EXPECT_EQ(sections(), (std::vector<std::string>{"sett", "0"}));
}

TEST_F(RecorderTest, ThePromptsAndTheQuestionAreShownAsWritten) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    fake.clearTranscript();
    recording.insertDelay();
    recording.sendText();
    recording.changeProxy();
    recording.purgeCache();
    EXPECT_EQ(fake.actionLine(),
              "ask(Настройки действия|Увеличение задержки между действием(милисекунды)|0) "
              "ask(Настройки действия|Введите текст (он будет послан в последнее место нажатия "
              "мышью)|) "
              "ask(Настройки действия|Введите Proxy для Internet Explorer и браузерах на его "
              "движке|) "
              "notice(3,Отчистить Cookies и кеш в Internet Explorer и браузерах на его движке?)");
}

TEST_F(RecorderTest, EveryPromptIsReportedOpenWhileItIsShownAndClosedAfterwards) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    int dialogs = 0;
    fake.onDialog([&] {
        ++dialogs;
        EXPECT_TRUE(events.promptOpen);
    });
    fake.answerAsk("10");
    recording.insertDelay();
    fake.answerAsk("abc");
    recording.sendText();
    fake.answerAsk("");
    recording.changeProxy();
    fake.answerNotice(false);
    recording.purgeCache();
    fake.answerAsk(""); // the empty-delay notice is shown while still hidden
    recording.insertDelay();
    fake.answerAsk("1x");
    EXPECT_THROW(recording.insertDelay(), AppError);
    fake.failProxyWith("ProxyServer");
    fake.answerAsk("h:1");
    EXPECT_THROW(recording.changeProxy(), AppError);
    EXPECT_EQ(dialogs, 8);
    EXPECT_FALSE(events.promptOpen);
    EXPECT_EQ(events.prompts, 7);
    EXPECT_EQ(events.promptsClosed, 7);
}

struct DelayCase {
    std::optional<std::string> answer;
    std::string stored;               // [1] sleep afterwards; it was 77 before
    std::vector<std::string> notices; // besides the prompt
    bool throws = false;
};

TEST_F(RecorderTest, InsertDelayAnswers) {
    const std::vector<DelayCase> cases = {
        {"250", "250", {}},
        {"-500", "-500", {}},
        {"$10", "16", {}},
        // Cancel writes nothing: the pause set before stays.
        {std::nullopt, "77", {}},
        {"", "77", {"0:Значение не установлено!"}},
        {"12a", "77", {}, true},
        {"99999999999", "77", {}, true},
    };
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.value_or("<cancel>"));
        ProfileStore(file("rec")).writeString("1", "sleep", "77");
        const auto shownBefore = notices().size();
        fake.answerAsk(c.answer);
        if (c.throws) {
            try {
                recording.insertDelay();
                ADD_FAILURE() << "no error";
            } catch (const AppError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "'" + *c.answer + "' is not a valid integer value");
            }
        } else {
            recording.insertDelay();
        }
        EXPECT_EQ(read("1", "sleep"), c.stored);
        const auto shown = notices();
        EXPECT_EQ(
            std::vector<std::string>(shown.begin() + static_cast<long>(shownBefore), shown.end()),
            c.notices);
    }
}

TEST_F(RecorderTest, SendTextWritesTheTextWithoutLineBreaksAndTypesIt) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    fake.press(MouseButton::Right, {0, 0});
    recording.tick();
    fake.clearTranscript();
    fake.answerAsk("При\r\nвет, world\n");
    recording.sendText();
    EXPECT_EQ(cp1251::toUtf8(read("2", "text")), "Привет, world");
    EXPECT_EQ(read("1", "text"), "<none>");
    EXPECT_EQ(fake.actionLine(), "ask(Настройки действия|Введите текст (он будет послан в "
                                 "последнее место нажатия мышью)|) type(Привет, world)");

    for (std::optional<std::string> nothing :
         {std::optional<std::string>("\r\n\n"), std::optional<std::string>(""),
          std::optional<std::string>()}) {
        fake.clearTranscript();
        fake.answerAsk(nothing);
        recording.sendText();
        EXPECT_EQ(cp1251::toUtf8(read("2", "text")), "Привет, world");
        EXPECT_EQ(fake.actionLine().find("type("), std::string::npos);
    }
}

TEST_F(RecorderTest, ChangeProxyWritesThenAppliesAndCancelOrLineBreaksDoNothing) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    fake.clearTranscript();
    fake.answerAsk("10.0.0.1:8080\r\n");
    recording.changeProxy();
    EXPECT_EQ(read("1", "setproxy"), "10.0.0.1:8080");
    EXPECT_NE(fake.actionLine().find(") proxy(10.0.0.1:8080,1)"), std::string::npos);

    fake.clearTranscript();
    fake.answerAsk("\n\r");
    recording.changeProxy();
    fake.answerAsk(std::nullopt);
    recording.changeProxy();
    EXPECT_EQ(read("1", "setproxy"), "10.0.0.1:8080");
    EXPECT_EQ(fake.actionLine().find("proxy("), std::string::npos);
}

TEST_F(RecorderTest, AFailedProxyWriteComesAfterTheStepWasWrittenAndPropagates) {
    startRecording();
    fake.failProxyWith("ProxyEnable");
    fake.answerAsk("h:1");
    try {
        recording.changeProxy();
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to set data for 'ProxyEnable'");
    }
    EXPECT_EQ(read("0", "setproxy"), "h:1");
    EXPECT_TRUE(recording.active());
    EXPECT_FALSE(events.promptOpen);
}

TEST_F(RecorderTest, PurgeOnlyOnYes) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    fake.clearTranscript();
    fake.answerNotice(false);
    recording.purgeCache();
    EXPECT_EQ(read("1", "ccookies"), "<none>");
    EXPECT_EQ(fake.actionLine().find("clearCache"), std::string::npos);
    fake.answerNotice(true);
    recording.purgeCache();
    EXPECT_EQ(read("1", "ccookies"), "1");
    EXPECT_EQ(fake.actions().back(), "clearCache");
}

TEST_F(RecorderTest, AnActionAttachesToTheStepThatIsLastWhenItsPromptCloses) {
    startRecording();
    fake.press(MouseButton::Left, {0, 0});
    recording.tick();
    // The timer keeps ticking under the modal prompt; a click elsewhere is a
    // new step, and the prompt's own clicks are not.
    fake.onDialog([&] {
        fake.press(MouseButton::Left, {3, 3}, true);
        fake.press(MouseButton::Right, {960, 0});
        recording.tick();
    });
    fake.answerAsk("40");
    recording.insertDelay();
    EXPECT_EQ(recording.current()->stepCount(), 2);
    EXPECT_EQ(read("2", "sleep"), "40");
    EXPECT_EQ(read("1", "sleep"), "<none>");
}

TEST_F(RecorderTest, StoppingWhileAPromptIsOpenAbandonsTheAction) {
    // Ctrl+W is handled by the prompt's own event loop; the recorder must
    // survive until the prompt returns, and then do nothing.
    fake.onDialog([&] { recording.stop(); });
    for (auto action : {&Recording::insertDelay, &Recording::sendText, &Recording::changeProxy,
                        &Recording::purgeCache}) {
        startRecording();
        fake.press(MouseButton::Left, {0, 0});
        recording.tick();
        fake.answerAsk("40");
        fake.answerNotice(true);
        (recording.*action)();
        expectRecordingOff();
        EXPECT_FALSE(events.promptOpen);
        EXPECT_EQ(sections(), (std::vector<std::string>{"sett", "1"}));
        EXPECT_EQ(ProfileStore(file("rec")).readString("1", "sleep", "") +
                      ProfileStore(file("rec")).readString("1", "text", "") +
                      ProfileStore(file("rec")).readString("1", "setproxy", "") +
                      ProfileStore(file("rec")).readString("1", "ccookies", ""),
                  "");
        std::filesystem::remove(file("rec"));
    }
    const std::string line = fake.actionLine();
    EXPECT_EQ(line.find("type("), std::string::npos);
    EXPECT_EQ(line.find("proxy("), std::string::npos);
    EXPECT_EQ(line.find("clearCache"), std::string::npos);
}

} // namespace
} // namespace pressmark
