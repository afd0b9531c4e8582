#include "Headless.h"

#include "player/clickerPlay.h"
#include "scenario/ScenarioFormat.h"
#include "window/ErrorReport.h"
#include "window/MainWindow.h"
#include "window/RepeatField.h"

#include <algorithm>
#include <system_error>

namespace pressmark::headless {

namespace {

void problem(const Output& io, const std::string& text) {
    io.error("pressmark: " + text);
}

// The scenario folder's entries; nothing (and the reason said) when it
// cannot be read.
std::optional<std::vector<ScenarioEntry>> readFolder(const std::filesystem::path& folder,
                                                     const Output& io) {
    std::error_code ec;
    std::vector<ScenarioEntry> entries = pressmark::listScenarios(folder, ec);
    if (ec) {
        const std::string path = displayFileName(folder);
        if (ec == std::errc::no_such_file_or_directory) {
            problem(io, "the scenario folder " + path + " does not exist and cannot be created");
        } else {
            problem(io, "the scenario folder " + path + " cannot be read: " + ec.message());
        }
        return std::nullopt;
    }
    return entries;
}

// Progress on standard error; a failure as the window would say it, which
// HeadlessDialogs writes there too.
class Progress final : public RunEvents {
public:
    explicit Progress(const Output& io) : m_io(io) {}
    void step(const clickerPlay::Progress& p) override {
        m_io.error("step " + std::to_string(p.step) + " of " + std::to_string(p.steps) +
                   ", repetition " + std::to_string(p.repetition) + " of " +
                   std::to_string(p.repetitions));
    }
    void failed(Failure why) override { Notice(MainWindow::failureNotice(why), NoticeError); }
    void textNotTyped(int skipped) override { m_io.error(MainWindow::notTypedNotice(skipped)); }

private:
    const Output& m_io;
};

} // namespace

bool HeadlessDialogs::notice(std::string_view text, int, const void*) {
    problem(m_io, std::string(text));
    return false;
}

bool namedFolderMissing(const CommandLine& cl, const Output& io) {
    if (!cl.scenarios) {
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(pathFromUtf8(*cl.scenarios), ec)) {
        return false;
    }
    problem(io, "the scenario folder " + *cl.scenarios + " given with --scenarios does not exist");
    return true;
}

int listScenarios(const std::filesystem::path& folder, const Output& io) {
    const auto entries = readFolder(folder, io);
    if (!entries) {
        return ExitNoScenario;
    }
    std::vector<std::string> names;
    for (const ScenarioEntry& e : *entries) {
        names.push_back(e.nameUtf8);
    }
    std::sort(names.begin(), names.end(), scenarioNameLess);
    for (const std::string& name : names) {
        io.out(name);
    }
    return ExitDone;
}

int playScenario(const CommandLine& cl, const std::filesystem::path& folder, const Output& io) {
    const auto entries = readFolder(folder, io);
    if (!entries) {
        return ExitNoScenario;
    }
    const std::filesystem::path file = findScenario(*entries, cl.play);
    if (file.empty()) {
        problem(io, "scenario '" + cl.play + "' not found in " + displayFileName(folder) +
                        " (--list shows the names)");
        return ExitNoScenario;
    }

    // The window's Alt+W, through the same table.
    const MainWindow::HotKey& stopRun = MainWindow::hotKeyTable[MainWindow::kStopRunKey];
    sf::SetHotKeyHandler([&stopRun](int systemId) {
        if (systemId == sf::HotKeyIdBase + stopRun.id) {
            requestStop();
        }
    });
    if (!MainWindow::registerHotKey(stopRun)) {
        problem(io, "Alt+W is not available (another program holds it, or the desktop gives "
                    "no hot keys); stop with Ctrl+C");
    }

    try {
        // The settings as the window would take them: the repeat count as its
        // repeat field shows the stored value and reads it back.
        const scenario::Settings settings =
            scenario::loadSettings(file).value_or(scenario::Settings{});
        const std::int32_t repeat =
            cl.repeat ? *cl.repeat : repeatfield::read(repeatfield::shown(settings.repeat)).value;
        Progress progress(io);
        clickerPlay player(file, settings.speed, repeat, progress);
        switch (player.run()) {
        case clickerPlay::Outcome::Finished:
            return ExitDone;
        case clickerPlay::Outcome::Stopped:
            problem(io, "stopped");
            return ExitStopped;
        case clickerPlay::Outcome::NotFound:
            return ExitNoScenario;
        }
    } catch (const std::exception& e) {
        problem(io, errorReportText(e));
        return ExitRunFailed;
    }
    return ExitDone;
}

} // namespace pressmark::headless
