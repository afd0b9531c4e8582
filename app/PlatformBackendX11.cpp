#include "PlatformBackend.h"

#include "platform/x11/X11Backend.h"
#include "player/clickerPlay.h"

#include <QCoreApplication>
#include <QFileInfo>
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

// An X11 display the program could connect to: DISPLAY set and, for a
// local display, its socket present.
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

class InstalledX11 final : public InstalledBackend {
public:
    InstalledX11() : m_backend(platform::x11::makeBackend()) { m_backend->install(); }

    platform::Backend services() const override { return m_backend->backend(); }

    QString problem(RunMode mode) const override {
        if (m_backend->onX11()) {
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

    void stopOnInterrupt() override {
        if (::pipe(g_signalPipe) != 0) {
            return;
        }
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read,
                                             QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [] {
            char buf[16];
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], buf, sizeof buf);
            requestStop();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

private:
    std::unique_ptr<platform::x11::X11Backend> m_backend;
};

} // namespace

QString prepareDisplay(RunMode mode) {
    if (mode == RunMode::Play) {
        QString why;
        if (!x11DisplayReachable(why)) {
            return why;
        }
        // The backend injects and grabs through Qt's X connection: no other
        // platform plugin will do for a run.
        qputenv("QT_QPA_PLATFORM", "xcb");
        return {};
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set "
                              "(./run.sh starts a private one)");
    }
    return {};
}

ScenarioFolderInputs scenarioFolderEnvironment() {
    ScenarioFolderInputs in;
    in.environment = envPath("PRESSMARK_SCENARIOS");
    in.xdgDataHome = envPath("XDG_DATA_HOME");
    in.home = envPath("HOME");
    return in;
}

std::unique_ptr<InstalledBackend> installPlatformBackend() {
    return std::make_unique<InstalledX11>();
}

} // namespace pressmark
