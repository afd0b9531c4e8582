#include "PlatformBackend.h"

#include "platform/qt/DialogsQt.h"
#include "platform/x11/X11Backend.h"
#include "player/clickerPlay.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace pressmark {
namespace {

std::optional<std::filesystem::path> envPath(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) {
        return std::nullopt;
    }
    return std::filesystem::path(v);
}

// The stop flag is lock-free and may be set from the handler; the pipe
// wakes the event loop so the run sees it at once.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    requestStop();
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
    // A second Ctrl+C ends the program the ordinary way.
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

struct InstalledBackend::System {
    std::unique_ptr<platform::x11::X11Backend> backend = platform::x11::makeBackend();
};

InstalledBackend::InstalledBackend() : m_system(std::make_unique<System>()) {
    m_system->backend->install();
}

InstalledBackend::~InstalledBackend() = default;

platform::Backend InstalledBackend::services() const {
    return m_system->backend->backend();
}

void InstalledBackend::setDialogOwner(const void* owner) {
    m_system->backend->setDialogOwner(owner);
}

QString InstalledBackend::problem(RunMode mode) const {
    if (m_system->backend->onX11()) {
        return {};
    }
    if (mode == RunMode::Play) {
        return QStringLiteral("no X11 display: Qt could not open %1")
            .arg(qEnvironmentVariable("DISPLAY"));
    }
    return QStringLiteral("Pressmark работает без X11 (платформа Qt \"%1\"): запись, "
                          "выполнение сценариев и горячие клавиши недоступны.")
        .arg(QGuiApplication::platformName());
}

void InstalledBackend::stopOnInterrupt(std::function<void()> andThen) {
    if (::pipe(g_signalPipe) != 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [andThen = std::move(andThen)] {
        char buf[16];
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], buf, sizeof buf);
        requestStop();
        if (andThen) {
            andThen();
        }
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
}

QString prepareDisplay(RunMode mode) {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (mode == RunMode::Play || (platform.isEmpty() && display)) {
        // The backend injects and grabs through Qt's X connection: a run
        // needs it, and the window takes it when there is one, also in a
        // Wayland session (XWayland), where Qt would otherwise choose its
        // Wayland plugin and leave recording, playback and hot keys off.
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else if (platform.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set "
                              "(./run.sh starts a private one)");
    } else if (!platform.startsWith(QLatin1String("xcb"))) {
        // Another plugin (Wayland without XWayland, offscreen) is Qt's to
        // open; should it fail, the start-up guard in main says so.
        return {};
    }
    return QString::fromStdString(platform::x11::x11ConnectProblem());
}

ScenarioFolderInputs scenarioFolderEnvironment() {
    ScenarioFolderInputs in;
    in.environment = envPath("PRESSMARK_SCENARIOS");
    in.xdgDataHome = envPath("XDG_DATA_HOME");
    in.home = envPath("HOME");
    in.policy = BesideProgram::WhenPresent;
    return in;
}

std::unique_ptr<InstalledBackend> installPlatformBackend() {
    return std::make_unique<InstalledBackend>();
}

void showErrorReport(const QString& text, const void* owner) {
    platform::qt::DialogsQt::errorReport(text, owner);
}

void showWarning(const QString& text, const void* owner) {
    platform::qt::DialogsQt::warning(QStringLiteral("Pressmark"), text, owner);
}

} // namespace pressmark
