#include "CommandLine.h"
#include "HeadlessControls.h"
#include "PlatformBackend.h"
#include "SingleInstance.h"

#include "platform/Platform.h"
#include "base/Cp1251.h"
#include "player/clickerPlay.h"
#include "scenario/ScenarioFolder.h"
#include "window/ErrorReport.h"
#include "window/MainWindow.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QFont>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

using namespace pressmark;

namespace {

std::filesystem::path scenarioFolder(const CommandLine& cl) {
    ScenarioFolderInputs in = scenarioFolderEnvironment();
    if (cl.scenarios) {
        in.commandLine = pathFromUtf8(cl.scenarios->toStdString());
    }
    in.appDir = pathFromUtf8(QCoreApplication::applicationDirPath().toStdString());
    return chooseScenarioFolder(in);
}

void setIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Pressmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
}

void say(const QString& text) {
    std::fprintf(stderr, "pressmark: %s\n", text.toLocal8Bit().constData());
}

// Qt ends the program with abort() when its platform plugin cannot start (a
// plugin that is missing, a display it cannot open): while the application
// object is made, its fatal message is said as ours and the program ends
// with the display's exit code instead.
QtMessageHandler g_previousHandler = nullptr;

void startUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        say(QStringLiteral("the display cannot be used: %1").arg(text.section(u'\n', 0, 0)));
        std::fflush(stderr);
        std::_Exit(ExitNoDisplay);
    }
    if (g_previousHandler) {
        g_previousHandler(type, context, text);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
}

class StartUpGuard {
public:
    StartUpGuard() { g_previousHandler = qInstallMessageHandler(startUpMessage); }
    ~StartUpGuard() { end(); }
    StartUpGuard(const StartUpGuard&) = delete;
    StartUpGuard& operator=(const StartUpGuard&) = delete;
    void end() {
        if (m_on) {
            qInstallMessageHandler(g_previousHandler);
            m_on = false;
        }
    }

private:
    bool m_on = true;
};

// A folder named with --scenarios must exist: creating a mistyped path
// would hide the mistake behind an empty list and leave the folder behind.
bool namedFolderMissing(const CommandLine& cl) {
    if (!cl.scenarios) {
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(pathFromUtf8(cl.scenarios->toStdString()), ec)) {
        return false;
    }
    say(QStringLiteral("the scenario folder %1 given with --scenarios does not exist")
            .arg(*cl.scenarios));
    return true;
}

// The folder's scenarios as --list prints them and --play finds them; an
// empty optional (and the reason on standard error) when it cannot be read.
std::optional<std::vector<ScenarioEntry>> readScenarioFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::vector<ScenarioEntry> entries = listScenarios(folder, ec);
    if (ec) {
        const QString path = QString::fromStdString(displayFileName(folder));
        if (ec == std::errc::no_such_file_or_directory) {
            say(QStringLiteral("the scenario folder %1 does not exist and cannot be created")
                    .arg(path));
        } else {
            say(QStringLiteral("the scenario folder %1 cannot be read: %2")
                    .arg(path, QString::fromLocal8Bit(ec.message())));
        }
        return std::nullopt;
    }
    return entries;
}

// --play has no window to put a message box on, and nobody may be there to
// close it: its notices go to standard error, and no question is asked.
class HeadlessDialogs final : public platform::Dialogs {
public:
    bool notice(std::string_view text, int, const void*) override {
        say(QString::fromStdString(cp1251::toUtf8(text)));
        return false;
    }
    std::optional<std::string> askValue(std::string_view, std::string_view,
                                        std::string_view) override {
        return std::nullopt;
    }
};

int listScenarios(int argc, char** argv, const CommandLine& cl) {
    QCoreApplication app(argc, argv);
    setIdentity();
    if (namedFolderMissing(cl)) {
        return ExitBadArguments;
    }
    const auto entries = readScenarioFolder(scenarioFolder(cl));
    if (!entries) {
        return ExitNoScenario;
    }
    QStringList names;
    for (const ScenarioEntry& e : *entries) {
        names << QString::fromStdString(e.nameUtf8);
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString& name : names) {
        std::printf("%s\n", name.toLocal8Bit().constData());
    }
    return ExitDone;
}

int playHeadless(int argc, char** argv, const CommandLine& cl) {
    if (const QString why = prepareDisplay(RunMode::Play); !why.isEmpty()) {
        say(why);
        return ExitNoDisplay;
    }
    if (namedFolderMissing(cl)) {
        return ExitBadArguments;
    }
    StartUpGuard guard;
    QApplication app(argc, argv);
    guard.end();
    setIdentity();
    QApplication::setQuitOnLastWindowClosed(false);
    const auto backend = installPlatformBackend();
    if (const QString problem = backend->problem(RunMode::Play); !problem.isEmpty()) {
        say(problem);
        return ExitNoDisplay;
    }
    HeadlessDialogs dialogs;
    platform::Backend services = backend->services();
    services.dialogs = &dialogs;
    platform::install(services);

    const std::filesystem::path folder = scenarioFolder(cl);
    const auto entries = readScenarioFolder(folder);
    if (!entries) {
        return ExitNoScenario;
    }
    const std::filesystem::path file = findScenario(*entries, cl.play.toStdString());
    if (file.empty()) {
        say(QStringLiteral("scenario '%1' not found in %2 (--list shows the names)")
                .arg(cl.play, QString::fromStdString(displayFileName(folder))));
        return ExitNoScenario;
    }

    backend->stopOnInterrupt();
    // The window's Alt+W, through the same table.
    const MainWindow::HotKey& stopRun = MainWindow::hotKeyTable[MainWindow::kStopRunKey];
    sf::SetHotKeyHandler([&stopRun](int systemId) {
        if (systemId == sf::HotKeyIdBase + stopRun.id) {
            requestStop();
        }
    });
    if (!MainWindow::registerHotKey(nullptr, stopRun)) {
        say(QStringLiteral("Alt+W is held by another program; stop with Ctrl+C"));
    }

    HeadlessControls controls(file);
    try {
        clickerPlay player(controls, true);
        if (cl.repeat) {
            player.setRepeatCount(*cl.repeat);
        }
        player.onProgress([](const clickerPlay::Progress& p) {
            std::fprintf(stderr, "step %d of %d, repetition %d of %d\n", p.step, p.steps,
                         p.repetition, p.repetitions);
        });
        switch (player.run()) {
        case clickerPlay::Outcome::Finished:
            return ExitDone;
        case clickerPlay::Outcome::Stopped:
            say(QStringLiteral("stopped"));
            return ExitStopped;
        case clickerPlay::Outcome::NotFound:
            return ExitNoScenario;
        }
    } catch (const std::exception& e) {
        say(QString::fromStdString(errorReportText(e)));
        return ExitRunFailed;
    }
    return ExitDone;
}

int runWindow(int argc, char** argv, const CommandLine& cl) {
    if (const QString why = prepareDisplay(RunMode::Window); !why.isEmpty()) {
        say(why);
        return ExitNoDisplay;
    }
    StartUpGuard guard;
    QApplication app(argc, argv);
    guard.end();
    setIdentity();
    // The window's fonts by the names it was designed with, drawn with
    // fonts that exist here.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("DejaVu Serif"));
    // Closing a dialog while the window hides during an action prompt must
    // not end the program: only closing the window does.
    QApplication::setQuitOnLastWindowClosed(false);

    // Before the hot keys are taken: a second window would find them all
    // held by the first.
    SingleInstance instance(SingleInstance::socketPath());
    if (instance.handOver()) {
        return ExitDone;
    }

    const auto backend = installPlatformBackend();
    platform::install(backend->services());
    const QString problem = backend->problem(RunMode::Window);
    TForm1 form(TForm1::Options{scenarioFolder(cl), problem});
    form.setErrorReport(
        [&form](const QString& text) { showErrorReport(text, form.nativeHandle()); });
    backend->setDialogOwner(form.nativeHandle());
    QObject::connect(&form, &TForm1::closed, &app, &QCoreApplication::quit);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &form, &TForm1::restoreFromTray);
    backend->stopOnInterrupt([&form] { form.close(); });
    form.show();
    if (!problem.isEmpty()) {
        showWarning(problem, form.nativeHandle());
    }
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine cl = parseCommandLine(arguments);
    switch (cl.mode) {
    case CommandLine::Mode::Help:
        std::printf("%s", cl.helpText.toLocal8Bit().constData());
        return ExitDone;
    case CommandLine::Mode::Version:
        std::printf("pressmark 2.0\n");
        return ExitDone;
    case CommandLine::Mode::Error:
        say(cl.error + QStringLiteral(" (see --help)"));
        return ExitBadArguments;
    case CommandLine::Mode::List:
        return listScenarios(argc, argv, cl);
    case CommandLine::Mode::Play:
        return playHeadless(argc, argv, cl);
    case CommandLine::Mode::Window:
        break;
    }
    return runWindow(argc, argv, cl);
}
