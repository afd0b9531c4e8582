#include "CommandLine.h"
#include "HeadlessControls.h"

#include "platform/Platform.h"
#include "platform/x11/X11Backend.h"
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
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace pressmark;

namespace {

std::optional<std::filesystem::path> envPath(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) {
        return std::nullopt;
    }
    return std::filesystem::path(v);
}

std::filesystem::path scenarioFolder(const CommandLine& cl) {
    ScenarioFolderInputs in;
    if (cl.scenarios) {
        in.commandLine = pathFromUtf8(cl.scenarios->toStdString());
    }
    in.environment = envPath("PRESSMARK_SCENARIOS");
    in.appDir = pathFromUtf8(QCoreApplication::applicationDirPath().toStdString());
    in.xdgDataHome = envPath("XDG_DATA_HOME");
    in.home = envPath("HOME");
    return chooseScenarioFolder(in);
}

void setIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Pressmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
}

void say(const QString& text) {
    std::fprintf(stderr, "pressmark: %s\n", text.toLocal8Bit().constData());
}

// An X11 display the program could connect to: DISPLAY set and, for a
// local display, its socket present. Checked before Qt starts, because Qt
// aborts when it cannot open the display.
bool x11DisplayReachable(QString& why) {
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty()) {
        why = QStringLiteral("no X11 display: DISPLAY is not set");
        return false;
    }
    if (display.startsWith(u':')) {
        const QString number = display.mid(1).section(u'.', 0, 0);
        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + number;
        if (!QFileInfo::exists(socket)) {
            why = QStringLiteral("no X11 display: DISPLAY is %1 but %2 does not exist")
                      .arg(display, socket);
            return false;
        }
    }
    return true;
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

// Ctrl+C and SIGTERM during --play: the stop flag is lock-free and may be set
// from the handler; the pipe wakes the event loop so the run sees it at once.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    requestStop();
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
    // A second Ctrl+C ends the program the ordinary way.
    std::signal(SIGINT, SIG_DFL);
}

int playHeadless(int argc, char** argv, const CommandLine& cl) {
    QString why;
    if (!x11DisplayReachable(why)) {
        say(why);
        return ExitNoDisplay;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    setIdentity();
    QApplication::setQuitOnLastWindowClosed(false);
    const auto backend = platform::x11::makeBackend();
    if (!backend->onX11()) {
        say(QStringLiteral("no X11 display: Qt could not open %1")
                .arg(qEnvironmentVariable("DISPLAY")));
        return ExitNoDisplay;
    }
    backend->install();

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

    if (::pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [] {
            char buf[16];
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], buf, sizeof buf);
            requestStop();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        say(QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set "
                           "(./run.sh starts a private one)"));
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

    const auto backend = platform::x11::makeBackend();
    platform::Backend services = backend->backend();
    CheckedDialogs dialogs(*services.dialogs);
    services.dialogs = &dialogs;
    platform::install(services);
    QString problem;
    if (!backend->onX11()) {
        problem = QStringLiteral("Pressmark работает без X11 (платформа Qt \"%1\"): запись, "
                                 "выполнение сценариев и горячие клавиши недоступны.")
                      .arg(QGuiApplication::platformName());
    }
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
