#include "PlatformBackend.h"

#include "platform/qt/DialogsQt.h"
#include "platform/wayland/WaylandBackend.h"
#include "platform/wayland/WaylandSession.h"
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

// What prepareDisplay chose, for the backend made after Qt has started.
struct DisplayChoice {
    bool wayland = false; // the compositor takes input from programs
    std::string fallback; // why not, when a Wayland session falls back to X11
};
DisplayChoice g_choice;

std::string missingProtocols(const platform::wayland::Offer& offer) {
    std::string names;
    const auto add = [&names](bool present, const char* name) {
        if (!present) {
            names += (names.empty() ? "" : ", ") + std::string(name);
        }
    };
    add(offer.virtualPointer, "zwlr_virtual_pointer_manager_v1");
    add(offer.virtualKeyboard, "zwp_virtual_keyboard_manager_v1");
    // KWin offers its fake input only to a program whose installed desktop
    // entry asks for it.
    add(offer.kdeFakeInput, "org_kde_kwin_fake_input (KWin: pressmark.desktop with "
                            "X-KDE-Wayland-Interfaces)");
    add(offer.gnomeRemote, "org.gnome.Mutter.RemoteDesktop (GNOME, on the session bus)");
    add(offer.seat, "wl_seat");
    add(offer.output, "wl_output");
    return names;
}

// In a Wayland session the program runs natively when the compositor lets a
// program send clicks and keys; otherwise it goes on through XWayland.
void chooseWayland() {
    platform::wayland::Offer offer;
    std::string why;
    if (!platform::wayland::probeCompositor(offer, why)) {
        g_choice.fallback = why;
    } else if (offer.usable()) {
        g_choice.wayland = true;
    } else {
        g_choice.fallback = "the compositor offers no " + missingProtocols(offer);
    }
}

} // namespace

struct InstalledBackend::System {
    std::unique_ptr<platform::x11::X11Backend> x11;
    std::unique_ptr<platform::wayland::WaylandBackend> wayland;
    std::string waylandFailed; // why the chosen Wayland backend could not start
};

InstalledBackend::InstalledBackend() : m_system(std::make_unique<System>()) {
    if (g_choice.wayland) {
        m_system->wayland = platform::wayland::WaylandBackend::make(m_system->waylandFailed);
    }
    if (m_system->wayland) {
        m_system->wayland->install();
    } else {
        m_system->x11 = platform::x11::makeBackend();
        m_system->x11->install();
    }
}

InstalledBackend::~InstalledBackend() = default;

platform::Backend InstalledBackend::services() const {
    return m_system->wayland ? m_system->wayland->backend() : m_system->x11->backend();
}

void InstalledBackend::setDialogOwner(const void* owner) {
    if (m_system->wayland) {
        m_system->wayland->setDialogOwner(owner);
    } else {
        m_system->x11->setDialogOwner(owner);
    }
}

QString InstalledBackend::note(RunMode mode) const {
    if (m_system->wayland) {
        return mode == RunMode::Window ? QString::fromStdString(m_system->wayland->limits())
                                       : QString();
    }
    if (g_choice.fallback.empty() || !m_system->x11->onX11()) {
        return {};
    }
    if (mode == RunMode::Play) {
        return QStringLiteral("Wayland: %1; playing through XWayland, which reaches X11 "
                              "programs only")
            .arg(QString::fromStdString(g_choice.fallback));
    }
    return QStringLiteral("Pressmark работает через XWayland (%1): щелчки, текст и горячие "
                          "клавиши доходят только до программ X11.")
        .arg(QString::fromStdString(g_choice.fallback));
}

QString InstalledBackend::problem(RunMode mode) const {
    if (m_system->wayland) {
        return {};
    }
    if (!m_system->waylandFailed.empty()) {
        if (mode == RunMode::Play) {
            return QStringLiteral("Wayland: %1")
                .arg(QString::fromStdString(m_system->waylandFailed));
        }
        return QStringLiteral("Pressmark не может работать с композитором Wayland (%1): запись, "
                              "выполнение сценариев и горячие клавиши недоступны.")
            .arg(QString::fromStdString(m_system->waylandFailed));
    }
    if (m_system->x11->onX11()) {
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
    // The terminal's quit key and the signals left to users end it the
    // same way: a sway binding or a lent keycode must not outlive the run.
    std::signal(SIGQUIT, onSignal);
    std::signal(SIGUSR1, onSignal);
    std::signal(SIGUSR2, onSignal);
}

QString prepareDisplay(RunMode mode) {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    g_choice = {};
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        (platform.isEmpty() || platform.startsWith(QLatin1String("wayland")))) {
        chooseWayland();
        if (g_choice.wayland) {
            // The backend speaks to the compositor on its own connection:
            // should Qt's Wayland plugin be missing, the window still opens
            // through XWayland.
            qputenv("QT_QPA_PLATFORM", display ? "wayland;xcb" : "wayland");
            return {};
        }
    }
    if (mode == RunMode::Play || (platform.isEmpty() && display)) {
        // The X11 backend injects and grabs through Qt's X connection: a
        // run needs it, and the window takes it when there is one, also in
        // a Wayland session whose compositor takes no input from programs
        // (XWayland), where Qt would otherwise choose its Wayland plugin and
        // leave recording, playback and hot keys off.
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
