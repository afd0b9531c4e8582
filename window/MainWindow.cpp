#include "MainWindow.h"

#include "ErrorReport.h"
#include "HelpTopics.h"
#include "base/Cp1251.h"
#include "base/IntConv.h"
#include "platform/Platform.h"
#include "scenario/ProfileStore.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <vector>

namespace pressmark {
namespace {

using scenario::kMaxSpeed;

class DialogScope {
public:
    explicit DialogScope(int& open) : m_open(open) { ++m_open; }
    ~DialogScope() { --m_open; }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    int& m_open;
};

// The pages are disabled while a handler works on the selected scenario: for
// a whole run or deletion, for a moment while settings load or save.
class PagesDisabled {
public:
    explicit PagesDisabled(MainView& view) : m_view(view) { m_view.setPagesEnabled(false); }
    ~PagesDisabled() { m_view.setPagesEnabled(true); }
    PagesDisabled(const PagesDisabled&) = delete;
    PagesDisabled& operator=(const PagesDisabled&) = delete;

private:
    MainView& m_view;
};

// Disabling the pages for a moment takes the keyboard focus away; the
// control that had it gets it back afterwards.
class FocusKeeper {
public:
    explicit FocusKeeper(MainView& view) : m_view(view) { m_view.saveFocus(); }
    ~FocusKeeper() { m_view.restoreFocus(); }
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;

private:
    MainView& m_view;
};

} // namespace

const std::array<std::string, 4>& MainWindow::hotKeyLines() {
    static const std::array<std::string, 4> lines{
        "CTRL+Q - запись",
        "CTRL+W - стоп",
        "ALT+Q - запуск выбранного\nсценария",
        "ALT+W - прервать исполнение\nсценария",
    };
    return lines;
}

MainWindow::MainWindow(MainView& view, Options options)
    : m_view(view), m_options(std::move(options)), m_folder(m_options.scenarioFolder),
      m_recording(static_cast<RecordingEvents&>(*this)) {}

MainWindow::~MainWindow() {
    sf::SetHotKeyHandler({});
}

// ---------------------------------------------------------------- reports

void MainWindow::recordingStarted() {
    m_view.setStopRecordEnabled(true);
    m_view.setRecordEnabled(false);
    m_view.setScenariosPageEnabled(false);
    m_view.setSamplingTimer(true);
}

void MainWindow::recordingStopped() {
    m_view.setSamplingTimer(false);
    m_view.setStopRecordEnabled(false);
    m_view.setRecordEnabled(true);
    m_view.setScenariosPageEnabled(true);
    m_view.setIndicator(MainView::Indicator::Yellow);
    refreshScenarioList();
}

void MainWindow::blink() {
    m_view.setIndicator(m_view.indicator() == MainView::Indicator::Yellow
                            ? MainView::Indicator::Red
                            : MainView::Indicator::Yellow);
}

// The window stays out of the way of an action's prompt and of what the
// action does to other programs.
void MainWindow::promptOpening() {
    m_view.hideWindow();
}

void MainWindow::promptClosed() {
    m_view.showWindow();
}

std::string MainWindow::failureNotice(RunEvents::Failure why) {
    switch (why) {
    case RunEvents::Failure::Unreadable:
        return "Не удалось прочитать сценарий!";
    case RunEvents::Failure::TooLarge:
        return "Файл сценария слишком большой!";
    case RunEvents::Failure::NotFound:
        break;
    }
    return "Сценарий не найден!";
}

void MainWindow::failed(RunEvents::Failure why) {
    Notice(failureNotice(why), NoticeError);
}

std::string MainWindow::notTypedNotice(int skipped) {
    return "Не все символы текста напечатаны: символов, которых нет ни в одной раскладке "
           "клавиатуры, пропущено: " +
           std::to_string(skipped) + ".";
}

// While recording the user hears of it at once; a run says it once, when it
// ends, rather than stop at every step.
void MainWindow::textNotTyped(int skipped) {
    if (m_running) {
        m_notTypedInRun += skipped;
    } else {
        Notice(notTypedNotice(skipped), NoticeInformation);
    }
}

scenario::Settings MainWindow::showSettings(const std::filesystem::path& file) {
    scenario::Settings settings;
    if (const auto loaded = scenario::loadSettings(file)) {
        settings = *loaded;
        m_view.setSpeed(settings.speed);
        m_view.setRepeat(settings.repeat);
        m_view.setDescription(settings.description);
    }
    settings.repeat = m_view.repeat();
    return settings;
}

void MainWindow::guarded(const std::function<void()>& body) {
    runReported(body, [this](const std::string& text) { m_view.reportError(text); });
}

// ---------------------------------------------------------------- start-up

void MainWindow::formCreate() {
    m_hotKeyOk.fill(false);
    if (m_options.platformProblem.empty()) {
        sf::SetHotKeyHandler([this](int systemId) { onHotKey(systemId); });
        // All four as one request: a desktop portal asks about them at once.
        std::vector<sf::HotKey> keys;
        for (const HotKey& k : hotKeyTable) {
            keys.push_back({k.id, k.key, k.modifiers});
        }
        try {
            const std::vector<bool> had = sf::SetHotKeys(keys);
            std::copy_n(had.begin(), std::min(had.size(), m_hotKeyOk.size()), m_hotKeyOk.begin());
        } catch (const std::exception&) {
            // no hot keys on this system
        }
    }
    updateHotKeyLabel();
    std::error_code ignored;
    std::filesystem::create_directories(m_folder, ignored);
    refreshScenarioList();
    if (!m_options.platformProblem.empty()) {
        m_view.disableRecordAndRun(m_options.platformProblem);
    }
}

bool MainWindow::registerHotKey(const HotKey& key) {
    try {
        return sf::SetHotKey(key.id, key.key, key.modifiers);
    } catch (const std::exception&) {
        return false; // no hot keys on this system
    }
}

void MainWindow::updateHotKeyLabel() {
    std::string text;
    for (std::size_t i = 0; i < hotKeyLines().size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += hotKeyLines()[i];
        if (!m_hotKeyOk[i]) {
            text += " (недоступно)";
        }
    }
    m_view.setHotKeyText(text);
}

void MainWindow::refreshScenarioList() {
    const std::string path = displayFileName(m_folder);
    std::error_code ec;
    std::vector<ScenarioEntry> entries;
    if (!m_folder.empty()) {
        entries = listScenarios(m_folder, ec);
    }
    if (m_folder.empty() || ec == std::errc::no_such_file_or_directory ||
        ec == std::errc::not_a_directory) {
        m_view.setScenarios({});
        m_view.showFolderProblem("Папка сценариев недоступна: ее нет и создать ее не удалось.\n" +
                                 path);
        return;
    }
    if (ec) {
        m_view.setScenarios({});
        m_view.showFolderProblem("Папку сценариев не удалось прочитать (" + ec.message() + ").\n" +
                                 path);
        return;
    }
    // The program's own order, the one --list prints too, not a list
    // control's: the windows then list alike on every system.
    std::sort(entries.begin(), entries.end(), [](const ScenarioEntry& a, const ScenarioEntry& b) {
        return scenarioNameLess(a.fileNameUtf8, b.fileNameUtf8);
    });
    m_view.showFolderProblem({});
    m_view.setScenarios(entries);
}

// ---------------------------------------------------------------- handlers

void MainWindow::onHotKey(int systemId) {
    static constexpr std::array<void (MainWindow::*)(), 4> handlers{
        &MainWindow::RecBtnClick, &MainWindow::StopRecBtnClick, &MainWindow::SStartBtnClick,
        &MainWindow::SStopBtnClick};
    for (std::size_t i = 0; i < hotKeyIds.size(); ++i) {
        if (systemId == sf::HotKeyIdBase + hotKeyIds[i]) {
            (this->*handlers[i])();
            return;
        }
    }
}

bool MainWindow::scenarioSelected() const {
    return !m_view.selectedScenarioPath().empty();
}

void MainWindow::Flb1Change() {
    guarded([this] {
        const auto path = m_view.selectedScenarioPath();
        if (path.empty() || path.native() == m_lastLoaded.native()) {
            return;
        }
        m_lastLoaded = path;
        FocusKeeper keep(m_view);
        const PagesDisabled pages(m_view);
        showSettings(path);
    });
}

void MainWindow::SStartBtnClick() {
    guarded([this] { run(); });
}

void MainWindow::run() {
    // One run at a time, and none while recording: its clicks would be recorded.
    if (m_running || m_dialogsOpen > 0 || m_recording.active() ||
        !m_options.platformProblem.empty()) {
        return;
    }
    if (m_view.minimizeOnRun()) {
        m_view.minimizeToTray();
    }
    m_running = true;
    m_notTypedInRun = 0;
    struct RunEnd {
        MainWindow* window;
        ~RunEnd() {
            window->m_running = false;
            if (window->m_closeAfterRun) {
                window->m_view.closeLater();
            }
        }
    } end{this};
    // Alt+W while Alt+Q's keys are still held stops the run before it starts
    // (the run itself clears the stop flag when it begins).
    m_stopWhileStarting = false;
    waitForModifierRelease();
    if (m_stopWhileStarting) {
        return;
    }
    const std::filesystem::path path = m_view.selectedScenarioPath();
    if (path.empty()) {
        Notice("Ошибка.Не выбран файл сценария!", NoticeError);
    }
    const PagesDisabled pages(m_view);
    const scenario::Settings settings = showSettings(path);
    clickerPlay player(path, settings.speed, settings.repeat, *this);
    player.run();
    if (m_notTypedInRun > 0) {
        Notice(notTypedNotice(m_notTypedInRun), NoticeInformation);
    }
}

void MainWindow::waitForModifierRelease() {
    // Started by Alt+Q, a run would otherwise click while Alt is still held:
    // an Alt+click, which window managers take as the start of a window move.
    // The wait handles events: a front end may learn of the release only
    // from them (Qt on Wayland), and an Alt+W meanwhile stops the run before
    // it starts.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (m_view.modifiersHeld() && std::chrono::steady_clock::now() < until) {
        sf::Delay(50, [] { return false; });
    }
}

void MainWindow::SStopBtnClick() {
    m_stopWhileStarting = true;
    requestStop();
}

void MainWindow::SDelBtnClick() {
    guarded([this] {
        const DialogScope scope(m_dialogsOpen);
        const std::filesystem::path path = m_view.selectedScenarioPath();
        if (path.empty()) {
            Notice("Ошибка.Не выбран файл сценария!", NoticeError);
        }
        const PagesDisabled pages(m_view);
        showSettings(path);
        if (path.empty()) {
            Notice("Выберите сценарий, который хотите удалить!", NoticeError);
            return;
        }
        const std::string name = displayFileName(path.filename());
        if (!Notice("Вы уверенны что хотите удалить сценарий " + name + "?", NoticeConfirm)) {
            return;
        }
        std::error_code ec;
        removeScenarioFile(path, ec);
        if (ec) {
            Notice("Не удалось удалить сценарий " + name + "!", NoticeError);
            return;
        }
        m_view.removeSelectedScenario();
    });
}

void MainWindow::RecBtnClick() {
    guarded([this] { record(); });
}

void MainWindow::record() {
    if (m_running || m_dialogsOpen > 0 || !m_options.platformProblem.empty()) {
        return;
    }
    const DialogScope scope(m_dialogsOpen);
    // Where no press can be collected, a recording would hold only what is
    // attached to clicks that never come: it is refused, with the reason.
    if (const std::string why = dev::RecordingProblem(); !why.empty()) {
        Notice(why, NoticeInformation, nullptr);
        return;
    }
    const std::string name = AskValue("", "Название сценария", "Новый сценарий");
    if (name.empty()) {
        Notice("Не задано имя сценария!", NoticePlain, nullptr);
        return;
    }
    // A recording still on is ended as Stop ends it before the new one
    // starts; a name the recorder refuses leaves it on. The window goes out
    // of the way only once the recording is really on: a refused name or a
    // "No" to overwriting leaves it where the user can see it.
    if (!m_recording.start(m_folder, name)) {
        return;
    }
    // A recorder that may lose presses says so, once: the user would
    // otherwise find out from a scenario with clicks missing.
    if (const std::string why = dev::SamplingProblem(); !why.empty() && !m_saidSamplingProblem) {
        m_saidSamplingProblem = true;
        Notice(why, NoticeInformation, nullptr);
    }
    if (m_view.minimizeOnRecord()) {
        m_view.minimizeToTray();
    }
}

void MainWindow::StopRecBtnClick() {
    guarded([this] { m_recording.stop(); });
}

// An action attached to the last click: its prompt is a dialog, under which
// no hot key starts a run or a recording.
void MainWindow::recordingAction(void (Recording::*action)()) {
    guarded([this, action] {
        const DialogScope scope(m_dialogsOpen);
        (m_recording.*action)();
    });
}

void MainWindow::RzBitBtn5Click() {
    recordingAction(&Recording::sendText);
}

void MainWindow::RzBitBtn6Click() {
    recordingAction(&Recording::insertDelay);
}

void MainWindow::RzBitBtn3Click() {
    recordingAction(&Recording::changeProxy);
}

void MainWindow::RzBitBtn4Click() {
    recordingAction(&Recording::purgeCache);
}

void MainWindow::RzBitBtn7Click() {
    guarded([this] {
        // The program folder's own on-screen keyboard first, then one that
        // the desktop has installed; with neither nothing happens.
        const std::filesystem::path dir = pathFromUtf8(sf::AppDir());
        for (const char* name : {"osk", "osk.exe"}) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(dir / name, ec)) {
                sf::RunProgram(dir / name);
                return;
            }
        }
        for (const char* name : {"onboard", "florence"}) {
            const std::string found = m_view.findProgram(name);
            if (!found.empty()) {
                sf::RunProgram(pathFromUtf8(found));
                return;
            }
        }
    });
}

void MainWindow::T1Timer() {
    guarded([this] { m_recording.tick(); });
}

void MainWindow::scChange() {
    m_view.showSpeedDigits(m_view.speedPosition());
}

void MainWindow::saveSetting(const std::function<void(scenario::ScenarioFile&)>& write) {
    FocusKeeper keep(m_view);
    const std::filesystem::path path = m_view.selectedScenarioPath();
    if (path.empty()) {
        Notice("Ошибка.Не выбран файл сценария!", NoticeError);
    }
    const PagesDisabled pages(m_view);
    // re is read as a run reads it: its rules put a valid number back.
    m_view.repeat();
    if (!path.empty()) {
        ProfileStore store(path);
        scenario::ScenarioFile file(store);
        write(file);
    }
}

void MainWindow::scMouseUp() {
    guarded([this] {
        if (!scenarioSelected()) {
            return;
        }
        const int speed = m_view.speedPosition();
        saveSetting([speed](scenario::ScenarioFile& f) {
            f.writeBaseDelay(static_cast<std::int32_t>(scenario::delayOfSpeed(speed)));
        });
    });
}

void MainWindow::N1Click() {
    guarded([this] { doSpeedDialog(false); });
}

void MainWindow::N2Click() {
    guarded([this] { doSpeedDialog(true); });
}

void MainWindow::doSpeedDialog(bool askDelay) {
    if (!scenarioSelected()) {
        return;
    }
    const DialogScope scope(m_dialogsOpen);
    const int position = m_view.speedPosition();
    const auto answer =
        askDelay
            ? AskValueOrCancel(std::to_string(scenario::delayOfSpeed(position)),
                               "Введите значение задержки от 0 до 10000(влияет на скорость)",
                               "Настройка задержки между кликами")
            : AskValueOrCancel(std::to_string(position), "Введите значение скорости от 0 до 10000",
                               "Настройка скорости");
    if (!answer) {
        return;
    }
    const std::int32_t value = strToInt(*answer);
    if (value <= 0 || value > kMaxSpeed) {
        Notice("Вы можете ввести значение не более 10000", NoticePlain, m_view.nativeHandle());
        return;
    }
    // The rule is its own inverse: a delay gives its speed as a speed its delay.
    const int speed = askDelay ? static_cast<int>(scenario::delayOfSpeed(value)) : value;
    saveSetting([this, speed](scenario::ScenarioFile& f) {
        m_view.setSpeed(speed);
        m_view.showSpeedDigits(speed);
        f.writeBaseDelay(static_cast<std::int32_t>(scenario::delayOfSpeed(speed)));
    });
}

void MainWindow::reKeyUp() {
    reButtonClick();
}

void MainWindow::reButtonClick() {
    guarded([this] {
        if (!scenarioSelected()) {
            return;
        }
        const int value = m_view.repeat();
        saveSetting([value](scenario::ScenarioFile& f) { f.writeRepeatCount(value); });
    });
}

void MainWindow::m2KeyUp() {
    guarded([this] {
        if (!scenarioSelected()) {
            return;
        }
        char32_t offending = 0;
        const std::string text = m_view.descriptionText();
        if (!cp1251::holds(text, &offending)) {
            // The memo refuses such characters as they come in; this is a
            // last guard, never a silent replacement, and no box at every key.
            m_view.showDescriptionNote(cp1251::refusalUtf8(offending));
            return;
        }
        saveSetting(
            [&text](scenario::ScenarioFile& f) { f.writeDescription(sf::StripLineBreaks(text)); });
        m_view.focusDescription();
    });
}

bool MainWindow::descriptionInput(std::string_view utf8) {
    char32_t offending = 0;
    if (cp1251::holds(utf8, &offending)) {
        return true;
    }
    m_view.showDescriptionNote(cp1251::refusalUtf8(offending));
    return false;
}

void MainWindow::lb2Click() {
    const int index = m_view.chosenHelpTopic();
    const auto& topics = helpTopics();
    if (index < 0 || static_cast<std::size_t>(index) >= topics.size()) {
        return;
    }
    m_view.showHelp(topics[static_cast<std::size_t>(index)].lines);
}

bool MainWindow::closeRequested() {
    if (!m_running) {
        return true;
    }
    // The run sees the stop flag after its current step; the window closes
    // once the run has returned, so nothing is injected after.
    m_closeAfterRun = true;
    m_stopWhileStarting = true;
    requestStop();
    return false;
}

} // namespace pressmark
