#include "GnomeShell.h"

#include "HotKeySet.h"
#include "DBusCall.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVariantMap>

#include <unistd.h>

namespace pressmark::platform::wayland {
namespace {

const QString shellService = QStringLiteral("org.pressmark.Shell");
const QString shellPath = QStringLiteral("/org/pressmark/Shell");
constexpr int timeoutMs = 3000;

// The extension's two formats go under two names: GNOME Shell 45 changed
// the format, and each shell loads only the one it can.
constexpr const char* legacyUuid = "pressmark-legacy@pressmark.example";
constexpr const char* moduleUuid = "pressmark@pressmark.example";

// GNOME Shell's own answers about itself; an invalid value where it has none.
QVariant shellProperty(QDBusConnection& bus, const QString& name) {
    const QDBusMessage reply =
        callOn(bus, QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
               QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
               {QStringLiteral("org.gnome.Shell"), name}, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

bool installedOnDisk(const QString& uuid) {
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                   QStringLiteral("gnome-shell/extensions/") + uuid +
                                       QStringLiteral("/metadata.json"))
                .isEmpty();
}

} // namespace

QString shellAccelerator(unsigned keyCode, unsigned modifiers) {
    static const char* const names[4] = {"<Control>", "<Alt>", "<Shift>", "<Super>"};
    return chordText(keyCode, modifiers, names);
}

GnomeShell::GnomeShell()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("pressmark-shell"))) {
    m_bus.connect(shellService, shellPath, shellService, QStringLiteral("Press"), this,
                  SLOT(onPress(uint, int, int, uint)));
    m_bus.connect(shellService, shellPath, shellService, QStringLiteral("HotKey"), this,
                  SLOT(onHotKey(uint)));
}

GnomeShell::~GnomeShell() {
    QDBusConnection::disconnectFromBus(m_bus.name());
}

std::shared_ptr<GnomeShell> GnomeShell::connect() {
    std::shared_ptr<GnomeShell> s(new GnomeShell);
    if (!s->m_bus.isConnected() || !s->m_bus.interface()->isServiceRegistered(shellService)) {
        return nullptr;
    }
    return s;
}

std::string GnomeShell::missingReason(bool hotKeysToo) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QVariant version = shellProperty(bus, QStringLiteral("ShellVersion"));
    if (!version.isValid()) {
        return {};
    }
    const QString uuid = QString::fromLatin1(
        version.toString().section(QLatin1Char('.'), 0, 0).toInt() >= 45 ? moduleUuid : legacyUuid);
    // Pressmark looks for the extension once, at its start.
    const QString enable = QStringLiteral("\ngnome-extensions enable ") + uuid +
                           QStringLiteral("\nи запустите Pressmark снова.");
    const QDBusMessage info =
        callOn(bus, QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
               QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"),
               {uuid}, timeoutMs);
    const QVariantMap known =
        info.type() == QDBusMessage::ReplyMessage && !info.arguments().isEmpty()
            ? qdbus_cast<QVariantMap>(info.arguments().constFirst())
            : QVariantMap{};
    const int state = known.value(QStringLiteral("state"), 0).toInt();
    QString what;
    if (known.isEmpty() || state == 99) { // 99: uninstalled
        what = installedOnDisk(uuid)
                   ? QStringLiteral("оно установлено, но GNOME Shell увидит его только после "
                                    "нового входа в сеанс. Выйдите из сеанса, войдите снова и "
                                    "выполните:") +
                         enable
                   : QStringLiteral("а оно не установлено. Установите пакет Pressmark, выйдите "
                                    "из сеанса, войдите снова и выполните:") +
                         enable;
    } else if (state == 1) { // enabled, yet not answering: it failed on the way
        what = QStringLiteral("оно включено, но не отвечает. Подробности: gnome-extensions info ") +
               uuid;
    } else if (state == 3 || state == 4) { // error, out of date
        what = QStringLiteral("а GNOME Shell не смог его запустить. Подробности: "
                              "gnome-extensions info ") +
               uuid;
    } else {
        what = QStringLiteral("а оно выключено. Включите его:") + enable;
    }
    return ((hotKeysToo ? QStringLiteral("Запись и горячие клавиши в GNOME работают через "
                                         "расширение Pressmark для GNOME Shell, ")
                        : QStringLiteral("Запись в GNOME работает через расширение Pressmark "
                                         "для GNOME Shell, ")) +
            what)
        .toStdString();
}

QDBusMessage GnomeShell::call(const QString& method, const QVariantList& args) {
    return callOn(m_bus, shellService, shellPath, shellService, method, args, timeoutMs);
}

void GnomeShell::watchPresses(bool on) {
    call(QStringLiteral("WatchPresses"), {on});
}

std::vector<Press> GnomeShell::takePresses() {
    // A press the extension sent before the last answer came has been read
    // off the connection already: it waits in this thread's queue.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return std::exchange(m_presses, {});
}

void GnomeShell::onPress(uint button, int x, int y, uint pid) {
    m_presses.push_back(Press{button == 3 ? MouseButton::Right : MouseButton::Left, Point{x, y},
                              pid == static_cast<uint>(getpid())});
}

Point GnomeShell::pointer() {
    const QDBusMessage reply = call(QStringLiteral("GetPointer"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
        return {};
    }
    return Point{reply.arguments().at(0).toInt(), reply.arguments().at(1).toInt()};
}

bool GnomeShell::ownWindowAt(Point p) {
    const QDBusMessage reply = call(QStringLiteral("WindowPidAt"), {p.x, p.y});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toUInt() == static_cast<uint>(getpid());
}

std::vector<bool> GnomeShell::grab(const QStringList& accelerators) {
    const QDBusMessage reply = call(QStringLiteral("GrabHotKeys"), {accelerators});
    std::vector<bool> had(static_cast<std::size_t>(accelerators.size()), false);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto given = qdbus_cast<QList<bool>>(reply.arguments().constFirst());
        for (qsizetype i = 0; i < given.size() && i < accelerators.size(); ++i) {
            had[static_cast<std::size_t>(i)] = given[i];
        }
    }
    return had;
}

void GnomeShell::setHotKeyHandler(std::function<void(unsigned)> handler) {
    m_hotKeyHandler = std::move(handler);
}

void GnomeShell::onHotKey(uint index) {
    if (m_hotKeyHandler) {
        m_hotKeyHandler(index);
    }
}

bool GnomeShell::setLayoutGroup(std::uint32_t group) {
    const QDBusMessage reply = call(QStringLiteral("SetLayoutGroup"), {group});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

PointerGnome::PointerGnome(std::shared_ptr<GnomeShell> shell, WaylandSession& session)
    : m_shell(std::move(shell)), m_session(session) {}

void PointerGnome::startSampling() {
    m_shell->takePresses(); // none from before
    m_shell->watchPresses(true);
}

void PointerGnome::stopSampling() {
    m_shell->watchPresses(false);
}

std::vector<Press> PointerGnome::takePresses() {
    return m_shell->takePresses();
}

Point PointerGnome::cursorPos() {
    return m_shell->pointer();
}

Rect PointerGnome::primaryScreen() {
    return m_session.primary();
}

bool PointerGnome::isOwnWindowAt(Point p) {
    return m_shell->ownWindowAt(p);
}

HotKeysGnome::HotKeysGnome(std::shared_ptr<GnomeShell> shell) : m_shell(std::move(shell)) {
    m_shell->setHotKeyHandler([this](unsigned index) {
        if (m_handler && index < m_grabbed.size()) {
            m_handler(m_grabbed[index]);
        }
    });
}

HotKeysGnome::~HotKeysGnome() {
    m_shell->setHotKeyHandler(nullptr);
    if (!m_wanted.empty()) {
        m_shell->grab({});
    }
}

QString HotKeysGnome::chordName(unsigned keyCode, unsigned modifiers) const {
    return shellAccelerator(keyCode, modifiers);
}

// The shell reports a press by its place in the grab; it never reports one
// it did not give.
void HotKeysGnome::bind() {
    m_grabbed.clear();
    QStringList accelerators;
    for (const auto& [id, accelerator] : m_wanted) {
        m_grabbed.push_back(id);
        accelerators.push_back(accelerator);
    }
    const std::vector<bool> had = m_shell->grab(accelerators);
    for (std::size_t i = 0; i < m_grabbed.size(); ++i) {
        if (!had[i]) {
            m_wanted.erase(m_grabbed[i]);
        }
    }
}

std::optional<std::uint32_t> LayoutsGnome::active(std::uint32_t keyboardGroup) {
    return keyboardGroup;
}

bool LayoutsGnome::switchTo(std::uint32_t group, std::uint32_t) {
    return m_shell->setLayoutGroup(group);
}

void LayoutsGnome::restore(std::uint32_t user) {
    m_shell->setLayoutGroup(user);
}

} // namespace pressmark::platform::wayland
