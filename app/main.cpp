#include "CommandLine.h"
#include "Headless.h"
#include "PlatformBackend.h"
#include "SingleInstance.h"

#include "base/About.h"
#include "platform/Platform.h"
#include "scenario/ScenarioFolder.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QFont>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

using namespace pressmark;

namespace {

std::filesystem::path scenarioFolder(const CommandLine& cl) {
    ScenarioFolderInputs in = scenarioFolderEnvironment();
    if (cl.scenarios) {
        in.commandLine = pathFromUtf8(*cl.scenarios);
    }
    in.appDir = pathFromUtf8(QCoreApplication::applicationDirPath().toStdString());
    return chooseScenarioFolder(in);
}

void setIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Pressmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PRESSMARK_VERSION));
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

headless::Output output() {
    return {[](const std::string& line) { std::printf("%s\n", line.c_str()); },
            [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }};
}

int listScenarios(int argc, char** argv, const CommandLine& cl) {
    QCoreApplication app(argc, argv);
    setIdentity();
    if (headless::namedFolderMissing(cl, output())) {
        return ExitBadArguments;
    }
    return headless::listScenarios(scenarioFolder(cl), output());
}

int playHeadless(int argc, char** argv, const CommandLine& cl) {
    if (const QString why = prepareDisplay(RunMode::Play); !why.isEmpty()) {
        say(why);
        return ExitNoDisplay;
    }
    if (headless::namedFolderMissing(cl, output())) {
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
    if (const QString note = backend->note(RunMode::Play); !note.isEmpty()) {
        say(note);
    }
    headless::HeadlessDialogs dialogs(output());
    platform::Backend services = backend->services();
    services.dialogs = &dialogs;
    platform::install(services);
    backend->stopOnInterrupt();
    return headless::playScenario(cl, scenarioFolder(cl), output());
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
    // Once the program's own loop runs: a signal that ends the program
    // while the warning is open must end that loop too, not only the box's.
    QTimer::singleShot(0, &form, [&] {
        if (!problem.isEmpty()) {
            showWarning(problem, form.nativeHandle());
        } else if (const QString note = backend->note(RunMode::Window); !note.isEmpty()) {
            showWarning(note, form.nativeHandle());
        }
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    const CommandLine cl = parseCommandLine(arguments);
    switch (cl.mode) {
    case CommandLine::Mode::Help:
        std::printf("%s", helpText(HelpFor::Linux).c_str());
        return ExitDone;
    case CommandLine::Mode::Version:
        std::printf("pressmark %s\n", PRESSMARK_VERSION);
        return ExitDone;
    case CommandLine::Mode::Error:
        say(QString::fromStdString(cl.error) + QStringLiteral(" (see --help)"));
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
