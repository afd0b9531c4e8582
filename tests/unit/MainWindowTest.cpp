// The main window's behaviour without a toolkit: hot keys, the run and
// record rules, closing during a run, the error report, on the fake
// platform and a view of plain fields.
#include "EngineFixture.h"
#include "base/AppError.h"
#include "base/Cp1251.h"
#include "window/ErrorReport.h"
#include "window/HelpTopics.h"
#include "window/Layout.h"
#include "window/MainWindow.h"
#include "window/RepeatField.h"

#include <optional>
#include <utility>

namespace pressmark {
namespace {

class FakeView final : public FakeWindowOf<MainView> {
public:
    int position = 0;
    bool onRecord = false;
    bool onRun = false;
    std::string hotKeyText;
    std::vector<ScenarioEntry> entries;
    int minimized = 0;
    int closes = 0;
    std::vector<std::string> errors;

    int speedPosition() const override { return position; }
    int digits = -1;
    void showSpeedDigits(int value) override { digits = value; }
    bool minimizeOnRecord() const override { return onRecord; }
    bool minimizeOnRun() const override { return onRun; }
    std::string typed; // m2 as the user left it
    std::string descriptionText() const override { return typed; }
    void focusDescription() override {}
    void setHotKeyText(const std::string& text) override { hotKeyText = text; }
    std::string disabledBecause;
    void disableRecordAndRun(const std::string& why) override { disabledBecause = why; }
    int listings = 0;
    void setScenarios(const std::vector<ScenarioEntry>& e) override {
        entries = e;
        ++listings;
    }
    std::string folderProblem;
    void showFolderProblem(const std::string& problem) override { folderProblem = problem; }
    int helpTopic = -1;
    std::vector<std::string> help;
    int chosenHelpTopic() const override { return helpTopic; }
    void showHelp(const std::vector<std::string>& lines) override { help = lines; }
    void saveFocus() override {}
    void restoreFocus() override {}
    bool modifiersHeld() const override { return false; }
    void minimizeToTray() override { ++minimized; }
    void closeLater() override { ++closes; }
    void reportError(const std::string& text) override { errors.push_back(text); }
    std::string findProgram(const std::string&) const override { return {}; }
    // re as text, under the window's rules rather than the plain fake's.
    std::string reText = "1";
    std::string repeatText() const override { return reText; }
    void showRepeatText(const std::string& text) override { reText = text; }
    void setRepeat(int r) override { MainView::setRepeat(r); }
    int repeat() override { return MainView::repeat(); }
    std::vector<std::string> notes;
    void showDescriptionNote(const std::string& note) override { notes.push_back(note); }
};

constexpr int kRecord = 5555, kStopRecord = 5556, kRun = 5557, kStopRun = 5558;

class MainWindowTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        writeScenario("A", "[sett]\nsleep=9000\nrepeat=1\n[1]\nx=10\ny=20\nkey=1\n");
        make();
    }
    void make() {
        logic.reset();
        logic = std::make_unique<MainWindow>(view, MainWindow::Options{folder, {}});
        logic->formCreate();
        fake.clearTranscript();
    }
    void select(std::string_view name) { view.selected = file(name); }
    // The dialogs shown so far, as "notice(kind,text)" and "ask(...)".
    std::vector<std::string> dialogs() const {
        std::vector<std::string> out;
        for (const auto& e : fake.transcript()) {
            if (e.rfind("notice(", 0) == 0 || e.rfind("ask(", 0) == 0) {
                out.push_back(e);
            }
        }
        return out;
    }
    int clicks() const {
        int n = 0;
        for (const auto& a : fake.actions()) {
            n += a == "down(L)" || a == "down(R)";
        }
        return n;
    }

    FakeView view;
    std::unique_ptr<MainWindow> logic;
};

TEST_F(MainWindowTest, HotKeysAreRegisteredInOrderAndAnUnavailableOneIsMarked) {
    const auto registerAgain = [&] {
        logic.reset();
        fake.clearTranscript();
        logic = std::make_unique<MainWindow>(view, MainWindow::Options{folder, {}});
        logic->formCreate();
        std::vector<std::string> keys;
        for (const auto& e : fake.transcript()) {
            if (e.rfind("hotkey(", 0) == 0) {
                keys.push_back(e);
            }
        }
        return keys;
    };
    EXPECT_EQ(registerAgain(), (std::vector<std::string>{"hotkey(5555,Q,2)", "hotkey(5556,W,2)",
                                                         "hotkey(5557,Q,1)", "hotkey(5558,W,1)"}));
    EXPECT_EQ(view.hotKeyText, "CTRL+Q - запись\nCTRL+W - стоп\nALT+Q - запуск выбранного\n"
                               "сценария\nALT+W - прервать исполнение\nсценария");
    fake.refuseHotKey(kStopRecord);
    fake.refuseHotKey(kRun);
    registerAgain();
    EXPECT_EQ(view.hotKeyText, "CTRL+Q - запись\nCTRL+W - стоп (недоступно)\nALT+Q - запуск "
                               "выбранного\nсценария (недоступно)\nALT+W - прервать "
                               "исполнение\nсценария");
    EXPECT_EQ(logic->hotKeysAvailable(), (std::array<bool, 4>{true, false, false, true}));
}

TEST_F(MainWindowTest, HotKeysRunTheirHandlersWhateverTheEnabledState) {
    view.pagesEnabled = false;
    fake.fireHotKey(kRun); // nothing selected
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"notice(2,Ошибка.Не выбран файл сценария!)",
                                                   "notice(2,Сценарий не найден!)"}));
    fake.clearTranscript();
    fake.fireHotKey(kRecord); // cancelled
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"ask(Новый сценарий|Название сценария|)",
                                                   "notice(0,Не задано имя сценария!)"}));
    fake.clearTranscript();
    fake.fireHotKey(kStopRecord); // no recording: nothing to say
    fake.fireHotKey(kStopRun);
    fake.fireHotKey(9999); // not ours
    EXPECT_TRUE(dialogs().empty());
}

TEST_F(MainWindowTest, HotKeysDoNotStartUnderAnOpenDialog) {
    select("A");
    bool fired = false;
    fake.onDialog([&] {
        if (!std::exchange(fired, true)) {
            fake.fireHotKey(kRun);
            fake.fireHotKey(kRecord);
        }
    });
    logic->RecBtnClick(); // the name prompt, cancelled
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"ask(Новый сценарий|Название сценария|)",
                                                   "notice(0,Не задано имя сценария!)"}));
    fake.clearTranscript();
    fired = false;
    fake.onDialog([&] {
        if (!std::exchange(fired, true)) {
            fake.fireHotKey(kRun);
        }
    });
    logic->SDelBtnClick(); // the delete question, answered no
    EXPECT_EQ(clicks(), 0);
    fake.onDialog({});
    fake.fireHotKey(kRun);
    EXPECT_EQ(clicks(), 1) << "afterwards Alt+Q runs again";
}

TEST_F(MainWindowTest, ARunRefusesAnotherRunOrARecordingAndAltWStopsIt) {
    writeScenario("long", "[sett]\nsleep=5000\nrepeat=100\n[1]\nx=1\ny=2\nkey=1\n");
    select("long");
    int reentries = 0;
    fake.at(500, [&] {
        EXPECT_TRUE(logic->running());
        EXPECT_FALSE(view.pagesEnabled);
        fake.fireHotKey(kRun);
        fake.fireHotKey(kRecord);
        ++reentries;
    });
    fake.at(7000, [&] { fake.fireHotKey(kStopRun); });
    logic->SStartBtnClick();
    EXPECT_EQ(reentries, 1);
    EXPECT_TRUE(dialogs().empty()) << "no name prompt under the run";
    EXPECT_EQ(clicks(), 2) << "no click after Alt+W";
    EXPECT_LT(fake.nowMs(), 7100);
    EXPECT_FALSE(logic->running());
    EXPECT_TRUE(view.pagesEnabled);
}

TEST_F(MainWindowTest, ClosingDuringARunStopsItAndClosesWhenItHasReturned) {
    writeScenario("long", "[sett]\nsleep=5000\nrepeat=100\n[1]\nx=1\ny=2\nkey=1\n");
    select("long");
    bool refused = false;
    fake.at(2000, [&] {
        refused = !logic->closeRequested();
        EXPECT_EQ(view.closes, 0);
    });
    logic->SStartBtnClick();
    EXPECT_TRUE(refused);
    EXPECT_EQ(fake.actionLine(), "move(1,2) down(L) up(L) wait(2000)");
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(logic->closeRequested()) << "no run: the window closes at once";
}

TEST_F(MainWindowTest, TheWindowGoesToTheTrayOnlyWhenARecordingOrARunStarts) {
    writeScenario("old", "[sett]\nsleep=300\n[1]\nx=1\ny=2\nkey=1\n");
    view.onRecord = true;
    const struct {
        std::optional<std::string> name;
        bool overwrite;
        bool starts;
    } cases[] = {
        {std::nullopt, false, false}, {"a/b", false, false}, {"old", false, false},
        {"old", true, true},          {"new", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.value_or("<cancel>"));
        view.minimized = 0;
        int minimizedWhenAsked = 0;
        fake.onDialog([&] { minimizedWhenAsked += view.minimized; });
        fake.answerAsk(c.name);
        fake.answerNotice(c.overwrite);
        logic->RecBtnClick();
        EXPECT_EQ(minimizedWhenAsked, 0);
        EXPECT_EQ(logic->recording().active(), c.starts);
        EXPECT_EQ(view.minimized, c.starts ? 1 : 0);
        logic->StopRecBtnClick();
    }
    // A run goes out of the way before anything else, even one that fails.
    view.onRun = true;
    view.minimized = 0;
    int minimizedWhenAsked = 0;
    fake.onDialog([&] { minimizedWhenAsked += view.minimized; });
    logic->SStartBtnClick(); // nothing selected
    EXPECT_GT(minimizedWhenAsked, 0);
}

TEST_F(MainWindowTest, AnErrorEndsItsHandlerAndIsReportedWithThePeriodRule) {
    writeScenario("proxy", "[sett]\nsleep=100\n[1]\nx=1\ny=2\nkey=1\nsetproxy=p:8080\n"
                           "[2]\nx=5\ny=5\n");
    select("proxy");
    fake.failProxyWith(std::string("ProxyServer"));
    logic->SStartBtnClick();
    EXPECT_EQ(view.errors, std::vector<std::string>{"Failed to set data for 'ProxyServer'"});
    EXPECT_TRUE(view.pagesEnabled);
    EXPECT_FALSE(logic->running());
    fake.failProxyWith(std::nullopt);
    fake.clearTranscript();
    logic->SStartBtnClick();
    EXPECT_NE(fake.actionLine().find("move(5,5)"), std::string::npos) << "the next run plays";

    const std::pair<const char*, const char*> rule[] = {
        {"'x' is not a valid integer value", "'x' is not a valid integer value."},
        {"Failed to set data for 'ProxyServer'", "Failed to set data for 'ProxyServer'"},
        {"done.", "done."},
        {"Unable to write to /tmp/a/", "Unable to write to /tmp/a/."},
        {"a,", "a,"},
        {"a!", "a!"},
        {"a 5", "a 5."},
        {"ошибка", "ошибка."},
        {"", ""},
    };
    for (const auto& [text, shown] : rule) {
        EXPECT_EQ(errorReportText(std::string_view(text)), shown);
        EXPECT_EQ(errorReportText(AppError(text)), shown);
    }
}

TEST_F(MainWindowTest, SpeedAndDelayPromptsCheckTheAnswerAndSaveTheBaseDelay) {
    const std::string refused = "notice(0,Вы можете ввести значение не более 10000)";
    const std::string speedAsk = "ask(Настройка скорости|Введите значение скорости от 0 до 10000|";
    const std::string delayAsk = "ask(Настройка задержки между кликами|Введите значение задержки "
                                 "от 0 до 10000(влияет на скорость)|";
    const struct {
        bool delay; // N2 instead of N1
        int position;
        std::optional<std::string> answer;
        std::string initial, notice, error;
        int newPosition;
        std::string sleep; // 300: nothing written
    } cases[] = {
        {true, 9700, "250", "300", "", "", 9750, "250"},
        {false, 9700, "0", "9700", refused, "", 0, "300"},
        {false, 9700, "10001", "9700", refused, "", 0, "300"},
        {false, 9700, "10000", "9700", "", "", 10000, "0"},
        {false, 9700, "1", "9700", "", "", 1, "9999"},
        {true, 9700, "10000", "300", "", "", 0, "10000"},
        {true, 9700, "-1", "300", refused, "", 0, "300"},
        {false, 0, std::nullopt, "0", "", "", 0, "300"},
        {true, 10000, std::nullopt, "0", "", "", 0, "300"},
        {false, 9700, "fast", "9700", "", "'fast' is not a valid integer value.", 0, "300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.value_or("<cancel>"));
        writeScenario("S", "[sett]\nsleep=300\n");
        select("S");
        view.position = c.position;
        view.speed = view.digits = -1;
        view.errors.clear();
        fake.clearTranscript();
        fake.answerAsk(c.answer);
        if (c.delay) {
            logic->N2Click();
        } else {
            logic->N1Click();
        }
        std::vector<std::string> expected{(c.delay ? delayAsk : speedAsk) + c.initial + ")"};
        if (!c.notice.empty()) {
            expected.push_back(c.notice);
        }
        EXPECT_EQ(dialogs(), expected);
        EXPECT_EQ(view.errors,
                  c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
        const bool saved = c.sleep != "300";
        EXPECT_EQ(view.speed, saved ? c.newPosition : -1);
        EXPECT_EQ(view.digits, saved ? c.newPosition : -1);
        EXPECT_EQ(ProfileStore(file("S")).readString("sett", "sleep", ""), c.sleep);
        EXPECT_TRUE(view.pagesEnabled);
    }
}

TEST_F(MainWindowTest, DeleteAsksAndRemovesTheSelectedScenario) {
    logic->SDelBtnClick(); // nothing selected
    EXPECT_EQ(dialogs(),
              (std::vector<std::string>{"notice(2,Ошибка.Не выбран файл сценария!)",
                                        "notice(2,Выберите сценарий, который хотите удалить!)"}));
    writeScenario("test", "[sett]\nsleep=2000\nrepeat=5\nComments=doomed\n");
    select("test");
    fake.clearTranscript();
    fake.answerNotice(false);
    logic->SDelBtnClick();
    EXPECT_EQ(dialogs(), std::vector<std::string>{
                             "notice(3,Вы уверенны что хотите удалить сценарий test.ini?)"});
    EXPECT_TRUE(std::filesystem::exists(file("test")));
    EXPECT_EQ(view.removedEntries, 0);
    fake.answerNotice(true);
    logic->SDelBtnClick();
    EXPECT_FALSE(std::filesystem::exists(file("test")));
    EXPECT_EQ(view.removedEntries, 1);
    EXPECT_TRUE(view.selected.empty());
    EXPECT_EQ(view.description, "doomed") << "the controls keep the deleted scenario's values";
}

TEST_F(MainWindowTest, AFailedDeleteKeepsTheEntryAndSaysSo) {
    // A folder that is not empty cannot be removed as a file, even by root.
    const auto path = folder / "busy.ini";
    std::filesystem::create_directory(path);
    writeScenario("busy.ini/inner", "x");
    view.selected = path;
    fake.answerNotice(true);
    logic->SDelBtnClick();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(view.removedEntries, 0);
    EXPECT_EQ(view.selected, path);
    EXPECT_EQ(dialogs(), (std::vector<std::string>{
                             "notice(3,Вы уверенны что хотите удалить сценарий busy.ini?)",
                             "notice(2,Не удалось удалить сценарий busy.ini!)"}));
}

TEST_F(MainWindowTest, ARunWithNothingSelectedGivesBothErrorsAndPlaysNothing) {
    logic->SStartBtnClick();
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"notice(2,Ошибка.Не выбран файл сценария!)",
                                                   "notice(2,Сценарий не найден!)"}));
    EXPECT_EQ(clicks(), 0);
    EXPECT_TRUE(view.pagesEnabled);
}

TEST_F(MainWindowTest, ARunTakesItsRepeatCountFromTheFieldAfterLoading) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"", 1},          {"repeat=0", 1}, {"repeat=3", 3}, {"repeat=500", 100},
        {"repeat=-3", 1}, {"repeat=x", 1},
    };
    for (const auto& [sett, field] : cases) {
        SCOPED_TRACE(sett);
        writeScenario("r",
                      std::string("[sett]\nsleep=10000\n") + sett + "\n[1]\nx=1\ny=1\nkey=1\n");
        select("r");
        view.reText = "50";
        fake.clearTranscript();
        logic->SStartBtnClick();
        EXPECT_EQ(view.reText, std::to_string(field));
        EXPECT_EQ(clicks(), field);
    }
}

TEST_F(MainWindowTest, CharactersNoLayoutHoldsAreSaidOnceWhenTheRunEnds) {
    writeScenario("t", "[sett]\nsleep=10000\nrepeat=3\n[1]\nx=1\ny=1\nkey=1\ntext=ab\n"
                       "[2]\nx=1\ny=1\nkey=1\ntext=cd\n");
    select("t");
    fake.setSkippedPerText(2);
    fake.clearTranscript();
    logic->SStartBtnClick();
    std::vector<std::string> notices;
    for (const auto& e : fake.transcript()) {
        if (e.rfind("notice(", 0) == 0) {
            notices.push_back(e);
        }
    }
    EXPECT_EQ(notices,
              std::vector<std::string>{"notice(1," + MainWindow::notTypedNotice(12) + ")"});
}

struct LoadCase {
    const char* lines;
    int speed;
    int repeat;
    const char* description;
};

TEST_F(MainWindowTest, ASelectionFillsTheControlsWithinTheirLimitsAndASaveLoadsNothing) {
    const std::vector<LoadCase> cases = {
        {"[sett]\nsleep=300\nrepeat=4\nComments=two words\n", 9700, 4, "two words"},
        {"[sett]\nsleep=10000\n", 9700, 1, ""},
        {"[sett]\nsleep=1000\n", 9000, 1, ""},
        {"[sett]\nsleep=0\n", 10000, 1, ""},
        {"[sett]\nsleep=-200\n", 10000, 1, ""}, // the trackbar limits 10200
        {"[1]\nx=1\n", 10000, 1, ""},           // no [sett] at all
        {"[sett]\nrepeat=500\n", 10000, 100, ""},
        {"[SETT]\nSLEEP=400\nREPEAT=2\ncomments=x\n", 9600, 2, "x"},
        {"[sett]\nComments=\xCB\xE5\xF1 \xB8\n", 10000, 1, "Лес ё"}, // 1251 in the file
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        view.speed = 1;
        view.reText = "50";
        view.description = "before";
        const std::string name = "load" + std::to_string(++n);
        writeScenario(name, c.lines);
        select(name);
        logic->Flb1Change();
        EXPECT_EQ(view.speed, c.speed);
        EXPECT_EQ(view.reText, std::to_string(c.repeat));
        EXPECT_EQ(view.description, c.description);
        EXPECT_TRUE(view.pagesEnabled);
    }
    writeScenario("keep", "[sett]\nsleep=300\nrepeat=4\nComments=c\n");
    select("keep");
    view.speed = 123;
    view.reText = "7";
    view.description = "";
    logic->reButtonClick();
    EXPECT_EQ(view.speed, 123);
    EXPECT_EQ(view.description, "");
    EXPECT_EQ(ProfileStore(file("keep")).readString("sett", "repeat", ""), "7");
}

TEST_F(MainWindowTest, ActionsWithoutARecordingAreRefused) {
    for (void (MainWindow::*action)() :
         {&MainWindow::RzBitBtn5Click, &MainWindow::RzBitBtn6Click, &MainWindow::RzBitBtn3Click,
          &MainWindow::RzBitBtn4Click}) {
        fake.clearTranscript();
        (logic.get()->*action)();
        EXPECT_EQ(dialogs(), std::vector<std::string>{"notice(2,Вы должны сначала включить запись, "
                                                      "чтобы использовать эту функцию.)"});
    }
}

TEST_F(MainWindowTest, ASelectionLoadsItsSettingsOnlyWhenThePathChanges) {
    writeScenario("B", "[sett]\nsleep=1000\nrepeat=7\nComments=second\n");
    writeScenario("A", "[sett]\nsleep=300\nrepeat=2\nComments=first\n");
    select("A");
    logic->Flb1Change();
    EXPECT_EQ(view.speed, 9700);
    EXPECT_EQ(view.reText, "2");
    EXPECT_EQ(view.description, "first");
    EXPECT_TRUE(view.pagesEnabled);
    // A, B, A loads A twice: a change on disk shows.
    writeScenario("A", "[sett]\nsleep=500\nrepeat=3\nComments=changed\n");
    select("B");
    logic->Flb1Change();
    EXPECT_EQ(view.speed, 9000);
    select("A");
    logic->Flb1Change();
    EXPECT_EQ(view.speed, 9500);
    EXPECT_EQ(view.description, "changed");
    // The same path again: not loaded again.
    writeScenario("A", "[sett]\nsleep=100\nrepeat=4\nComments=again\n");
    logic->Flb1Change();
    EXPECT_EQ(view.description, "changed");
    EXPECT_TRUE(dialogs().empty());
}

TEST_F(MainWindowTest, RecordAndStopByHotKeysAndCtrlQEndsARecordingBeforeTheNext) {
    fake.answerAsk(std::string("one"));
    fake.fireHotKey(kRecord);
    ASSERT_TRUE(logic->recording().active());
    EXPECT_FALSE(view.recordEnabled);
    EXPECT_TRUE(view.stopRecordEnabled);
    EXPECT_FALSE(view.scenariosPageEnabled);
    EXPECT_TRUE(view.samplingTimer);
    fake.press(platform::MouseButton::Right, {100, 100});
    for (int tick = 1; tick <= 10; ++tick) {
        EXPECT_EQ(view.colour, MainView::Indicator::Yellow) << tick;
        logic->T1Timer();
    }
    EXPECT_EQ(view.colour, MainView::Indicator::Red) << "the indicator blinks";
    fake.answerAsk(std::nullopt);
    logic->RzBitBtn6Click();
    EXPECT_EQ(view.hides, 1) << "hidden under an action's prompt";
    EXPECT_EQ(view.shows, 1);
    EXPECT_TRUE(view.visible);
    fake.clearTranscript();
    fake.fireHotKey(kRun); // no run while recording
    EXPECT_TRUE(fake.transcript().empty());
    // An empty name: the recording goes on; a new one ends it first.
    fake.answerAsk(std::string());
    fake.fireHotKey(kRecord);
    EXPECT_EQ(logic->recording().current()->path(), file("one"));
    const int refreshes = view.listings;
    fake.answerAsk(std::string("two"));
    fake.fireHotKey(kRecord);
    EXPECT_EQ(logic->recording().current()->path(), file("two"));
    EXPECT_EQ(view.listings, refreshes + 1) << "the first one's end re-reads the list";
    EXPECT_EQ(ProfileStore(file("one")).readString("1", "key", ""), "2");
    fake.fireHotKey(kStopRecord);
    EXPECT_FALSE(logic->recording().active());
    EXPECT_TRUE(view.recordEnabled);
    EXPECT_FALSE(view.stopRecordEnabled);
    EXPECT_TRUE(view.scenariosPageEnabled);
    EXPECT_FALSE(view.samplingTimer);
    EXPECT_EQ(view.colour, MainView::Indicator::Yellow);
}

TEST_F(MainWindowTest, ARecorderThatMayLosePressesSaysSoAtTheFirstRecordingOnly) {
    fake.setSamplingDegraded("Перехват недоступен");
    for (const char* name : {"one", "two"}) {
        fake.answerAsk(std::string(name));
        fake.fireHotKey(kRecord);
        ASSERT_TRUE(logic->recording().active());
        fake.fireHotKey(kStopRecord);
    }
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"ask(Новый сценарий|Название сценария|)",
                                                   "notice(1,Перехват недоступен)",
                                                   "ask(Новый сценарий|Название сценария|)"}));
}

TEST_F(MainWindowTest, WhereNoPressCanBeCollectedRecordingIsRefusedWithTheReason) {
    fake.setCannotRecord("Запись недоступна");
    logic->RecBtnClick();
    fake.fireHotKey(kRecord);
    EXPECT_FALSE(logic->recording().active());
    EXPECT_EQ(dialogs(), (std::vector<std::string>{"notice(1,Запись недоступна)",
                                                   "notice(1,Запись недоступна)"}));
}

TEST_F(MainWindowTest, AFolderThatCannotBeMadeIsExplained) {
    writeScenario("blocker", "a file where the folder should be");
    logic.reset();
    logic = std::make_unique<MainWindow>(view,
                                         MainWindow::Options{file("blocker") / "TH_Scenaries", {}});
    logic->formCreate();
    EXPECT_TRUE(view.entries.empty());
    EXPECT_EQ(view.folderProblem.rfind("Папка сценариев недоступна", 0), 0u) << view.folderProblem;
    EXPECT_NE(view.folderProblem.find("blocker"), std::string::npos);
    logic.reset();
    make();
    EXPECT_TRUE(view.folderProblem.empty());
    EXPECT_FALSE(view.entries.empty());
}

TEST_F(MainWindowTest, WithoutThePlatformTheWindowStaysUsable) {
    logic.reset();
    fake.clearTranscript();
    logic = std::make_unique<MainWindow>(view, MainWindow::Options{folder, "no X11"});
    logic->formCreate();
    EXPECT_EQ(view.disabledBecause, "no X11");
    EXPECT_EQ(logic->hotKeysAvailable(), (std::array<bool, 4>{}));
    EXPECT_TRUE(fake.transcript().empty()) << "no hot key taken";
    logic->RecBtnClick();
    logic->SStartBtnClick();
    EXPECT_TRUE(dialogs().empty());
    select("A");
    logic->Flb1Change();
    EXPECT_EQ(view.speed, 1000) << "scenarios still load";
}

TEST_F(MainWindowTest, TheOnScreenKeyboardBesideTheProgramComesFirst) {
    const auto appDir = folder / "app";
    std::filesystem::create_directories(appDir);
    std::ofstream(appDir / "osk") << "#!/bin/sh\n";
    fake.setExecutablePath(pathToUtf8(appDir / "pressmark"));
    logic->RzBitBtn7Click();
    EXPECT_EQ(fake.actionLine(), "run(" + pathToUtf8(appDir / "osk") + ")");
}

} // namespace
} // namespace pressmark

namespace pressmark {
namespace {

TEST_F(MainWindowTest, WithNothingSelectedTheSettingsHandlersAskAndWriteNothing) {
    view.position = 1234;
    view.typed = "x";
    logic->N1Click();
    logic->N2Click();
    logic->scMouseUp();
    logic->reKeyUp();
    logic->m2KeyUp();
    EXPECT_TRUE(fake.transcript().empty());
    EXPECT_EQ(ProfileStore(file("A")).readString("sett", "sleep", ""), "9000");
}

// The rules a user could see differently in two windows, decided here once:
// the list's order, the repeat field, the description's refusal, the menus'
// regions.
TEST_F(MainWindowTest, TheListIsInTheProgramsOwnOrder) {
    for (const char* name : {"b", "Ё", "е", "Я", "c", "Ж"}) {
        writeScenario(name, "[sett]\n");
    }
    make();
    std::vector<std::string> shown;
    for (const ScenarioEntry& e : view.entries) {
        shown.push_back(e.nameUtf8);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"A", "b", "c", "е", "Ё", "Ж", "Я"}));
}

TEST_F(MainWindowTest, TheRepeatFieldReadsSetsAndStepsByOneRule) {
    const struct {
        const char* text;
        int read;
        const char* shownAfter;
    } reads[] = {{"500", 500, "500"},
                 {"", 1, "1"},
                 {"abc", 1, "abc"},
                 {"+7", 7, "+7"},
                 {"-3", -3, "-3"},
                 {"0", 0, "0"},
                 {"99999999999", 1, "99999999999"}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.text);
        view.reText = r.text;
        EXPECT_EQ(view.repeat(), r.read);
        EXPECT_EQ(view.reText, r.shownAfter);
    }
    const std::pair<int, const char*> sets[] = {{500, "100"}, {0, "1"}, {-4, "1"}, {42, "42"}};
    for (const auto& [value, shown] : sets) {
        view.setRepeat(value);
        EXPECT_EQ(view.reText, shown) << value;
    }
    const struct {
        const char* from;
        int delta;
        const char* to;
    } steps[] = {{"100", 1, "100"}, {"500", -1, "100"}, {"3", -10, "1"},
                 {"", 10, "11"},    {"x", 1, "2"},      {"55", -1, "54"}};
    for (const auto& st : steps) {
        view.reText = st.from;
        view.stepRepeat(st.delta);
        EXPECT_EQ(view.reText, st.to) << st.from << " " << st.delta;
    }
    using repeatfield::Step;
    EXPECT_EQ(repeatfield::delta(Step::PageDown, false), -10);
    EXPECT_EQ(repeatfield::delta(Step::WheelUp, false), 1);
    EXPECT_EQ(repeatfield::delta(Step::WheelUp, true), 10);
    EXPECT_TRUE(repeatfield::accepts(U'7') && repeatfield::accepts(U'+') &&
                repeatfield::accepts(U'-'));
    EXPECT_FALSE(repeatfield::accepts(U'.') || repeatfield::accepts(U'x'));
    // Typed 500 is saved as 500.
    select("A");
    view.reText = "500";
    logic->reKeyUp();
    EXPECT_EQ(ProfileStore(file("A")).readString("sett", "repeat", ""), "500");
}

TEST_F(MainWindowTest, TheDescriptionRefusesWhat1251CannotHoldWithANote) {
    EXPECT_TRUE(logic->descriptionInput("Привет, мир €"));
    EXPECT_TRUE(view.notes.empty());
    EXPECT_FALSE(logic->descriptionInput("ab中"));
    EXPECT_EQ(view.notes, std::vector<std::string>{cp1251::refusalUtf8(U'中')});
    // Should one still get in (a paste the front end missed): the same note,
    // no box, nothing saved.
    select("A");
    view.typed = "x中";
    logic->m2KeyUp();
    EXPECT_EQ(view.notes.size(), 2U);
    EXPECT_TRUE(dialogs().empty());
    EXPECT_EQ(ProfileStore(file("A")).readString("sett", "Comments", "none"), "none");
}

TEST_F(MainWindowTest, ARightPressAnywhereInTheSpeedGroupOpensItsMenu) {
    const layout::Control& group = layout::control("RzGroupBox1");
    const layout::Place& g = group.place;
    // Every pixel of the group, from the page: caption, display, trackbar,
    // margins.
    int inside = 0;
    for (int y = g.y; y < g.y + g.height; ++y) {
        for (int x = g.x; x < g.x + g.width; ++x) {
            inside += layout::popupAt("TabSheet1", x, y) == "PopupMenu1";
        }
    }
    EXPECT_EQ(inside, g.width * g.height);
    const struct {
        const char* control;
        int x, y;
        const char* popup;
    } presses[] = {{"RzGroupBox1", 2, 2, "PopupMenu1"},
                   {"sd", 0, 0, "PopupMenu1"},
                   {"sc", 128, 32, "PopupMenu1"},
                   {"TabSheet1", g.x - 1, g.y, ""},
                   {"TabSheet1", g.x, g.y + g.height, ""},
                   {"Flb1", 5, 5, ""},
                   {"TabSheet1", 200, 200, ""}};
    for (const auto& p : presses) {
        EXPECT_EQ(layout::popupAt(p.control, p.x, p.y), p.popup) << p.control << p.x << ',' << p.y;
    }
}

TEST_F(MainWindowTest, EachHelpTopicShowsItsOwnLines) {
    const struct {
        std::size_t lines;
        std::string first, last;
    } topics[] = {
        {6,
         " Для записи нового сценария вам достаточна нажать кнопку \"Запись\" и задать имя "
         "сценария(имя не должно содержать спец.символов типа *^ и т.п.).",
         " Все сценарии сохраняются в папке с программой."},
        {3, "Выберите сценарий из списка и нажмите \"Выполнить сценарий\" .",
         "Так же не рекомендуется менять разрешение экрана."},
        {1, " Выберите в списке сценарий каторый хотите удалить и нажмите кнопку \"Удалить\"",
         " Выберите в списке сценарий каторый хотите удалить и нажмите кнопку \"Удалить\""},
        {1,
         "Дает возможность увеличить задержку после вашего последнего клика мышкой,задается в "
         "милисекундах. (1000миллисекунд=1секунда) ",
         "Дает возможность увеличить задержку после вашего последнего клика мышкой,задается в "
         "милисекундах. (1000миллисекунд=1секунда) "},
        {3, "Виртуальная клавиатура из набора Windos XP ,распостраняется вместе с программой ",
         "Во время записи вы можете выполнять различные действие, например нажав  SHIFT на "
         "вирт.клавиатуре выделять текст."},
        {3, "Позволяет послать текст в любое место где устрановлен курсор. ",
         "При выполнение сценария в место щелчка будет послан текст."},
        {1, "Количество раз сколько будет выполнен ваш сценарий.",
         "Количество раз сколько будет выполнен ваш сценарий."},
        {1, "Чем больше скорость, тем быстрее выполнится сценарий.",
         "Чем больше скорость, тем быстрее выполнится сценарий."},
        {6, "Название программы:  Pressmark ",
         "Ошибки и предложения: раздел issues репозитория проекта."},
    };
    ASSERT_EQ(helpTopics().size(), std::size(topics));
    // No topic chosen (the list only took the focus): nothing is shown.
    logic->lb2Click();
    EXPECT_TRUE(view.help.empty());
    for (std::size_t i = 0; i < std::size(topics); ++i) {
        SCOPED_TRACE(i);
        view.helpTopic = static_cast<int>(i);
        logic->lb2Click();
        ASSERT_EQ(view.help.size(), topics[i].lines);
        EXPECT_EQ(view.help.front(), topics[i].first);
        EXPECT_EQ(view.help.back(), topics[i].last);
    }
    // Seven lines begin with a blank, eight end with one, four hold two
    // blanks in a row (the contact line added at the end holds none).
    int leading = 0, trailing = 0, doubled = 0;
    for (const HelpTopic& topic : helpTopics()) {
        for (const std::string& line : topic.lines) {
            leading += line.front() == ' ';
            trailing += line.back() == ' ';
            doubled += line.find("  ") != std::string::npos;
        }
    }
    EXPECT_EQ(leading, 7);
    EXPECT_EQ(trailing, 8);
    EXPECT_EQ(doubled, 4);
}

} // namespace
} // namespace pressmark
