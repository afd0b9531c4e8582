#include "CommandLine.h"
#include "HeadlessControls.h"
#include "PlatformBackend.h"

#include "platform/Platform.h"
#include "player/clickerPlay.h"
#include "scenario/ScenarioFolder.h"
#include "ui/CheckedDialogs.h"
#include "ui/ErrorReport.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>

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

int listScenarios(int argc, char** argv, const CommandLine& cl) {
    QCoreApplication app(argc, argv);
    setIdentity();
    const std::filesystem::path folder = scenarioFolder(cl);
    const QDir dir(QString::fromStdString(pathToUtf8(folder)));
    if (!dir.exists()) {
        say(QStringLiteral("the scenario folder %1 does not exist and cannot be created")
                .arg(dir.path()));
        return ExitNoScenario;
    }
    for (const QString& name : dir.entryList({QStringLiteral("*.ini")}, QDir::Files | QDir::Hidden,
                                             QDir::Name | QDir::IgnoreCase)) {
        std::printf("%s\n", QFileInfo(name).completeBaseName().toLocal8Bit().constData());
    }
    return ExitDone;
}

int playHeadless(int argc, char** argv, const CommandLine& cl) {
    if (const QString why = prepareDisplay(RunMode::Play); !why.isEmpty()) {
        say(why);
        return ExitNoDisplay;
    }
    QApplication app(argc, argv);
    setIdentity();
    QApplication::setQuitOnLastWindowClosed(false);
    const auto backend = installPlatformBackend();
    if (const QString problem = backend->problem(RunMode::Play); !problem.isEmpty()) {
        say(problem);
        return ExitNoDisplay;
    }

    const std::filesystem::path folder = scenarioFolder(cl);
    std::string name = cl.play.toStdString();
    std::filesystem::path file = scenarioFile(folder, name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) && cl.play.endsWith(QStringLiteral(".ini"))) {
        file = folder / pathFromUtf8(name);
    }
    if (!isValidScenarioName(name) || !std::filesystem::is_regular_file(file, ec)) {
        say(QStringLiteral("scenario '%1' not found in %2 (--list shows the names)")
                .arg(cl.play, QString::fromStdString(pathToUtf8(folder))));
        return ExitNoScenario;
    }

    backend->stopOnInterrupt();
    platform::backend().hotKeys->setHandler([](int systemId) {
        if (systemId == sf::HotKeyIdBase + 8) {
            requestStop();
        }
    });
    if (!sf::SetHotKey(nullptr, 8, 'W', "W", platform::ModAlt)) {
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
        say(errorReportText(e));
        return ExitRunFailed;
    }
    return ExitDone;
}

int runWindow(int argc, char** argv, const CommandLine& cl) {
    if (const QString why = prepareDisplay(RunMode::Window); !why.isEmpty()) {
        say(why);
        return ExitNoDisplay;
    }
    QApplication app(argc, argv);
    setIdentity();
    // The window's fonts by the names it was designed with, drawn with
    // fonts that exist here.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("DejaVu Serif"));
    // Closing a dialog while the window hides during an action prompt must
    // not end the program: only closing the window does.
    QApplication::setQuitOnLastWindowClosed(false);

    const auto backend = installPlatformBackend();
    platform::Backend services = backend->services();
    CheckedDialogs dialogs(*services.dialogs);
    services.dialogs = &dialogs;
    platform::install(services);
    const QString problem = backend->problem(RunMode::Window);
    TForm1 form(TForm1::Options{scenarioFolder(cl), problem});
    dialogs.setDefaultOwner(form.nativeHandle());
    QObject::connect(&form, &TForm1::closed, &app, &QCoreApplication::quit);
    form.show();
    if (!problem.isEmpty()) {
        QMessageBox::warning(&form, QStringLiteral("Pressmark"), problem);
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
