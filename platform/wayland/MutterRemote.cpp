#include "MutterRemote.h"

#include "DBusCall.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

#include <linux/input-event-codes.h>

namespace pressmark::platform::wayland {
namespace {

const QString remoteService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
const QString castService = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString castSessionInterface = QStringLiteral("org.gnome.Mutter.ScreenCast.Session");
constexpr int timeoutMs = 5000;
constexpr std::chrono::seconds streamLongest{5};

QDBusMessage call(QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& interface, const QString& method, const QVariantList& args = {}) {
    return callOn(bus, service, path, interface, method, args, timeoutMs);
}

// The object path a call answered with; empty when it failed.
QString pathOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

} // namespace

bool SignalLatch::wait(std::chrono::milliseconds longest) {
    std::unique_lock lock(m_mutex);
    return m_fired.wait_for(lock, longest, [this] { return m_done; });
}

void SignalLatch::fire() {
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_fired.notify_all();
}

MutterRemote::MutterRemote()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("pressmark-mutter"))) {
    m_streamAdded.moveToThread(&m_thread);
    m_thread.start();
}

std::unique_ptr<MutterRemote> MutterRemote::start(std::string& why) {
    std::unique_ptr<MutterRemote> r(new MutterRemote);
    QDBusConnection& bus = r->m_bus;
    r->m_session =
        pathOf(call(bus, remoteService, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                    remoteService, QStringLiteral("CreateSession")));
    if (r->m_session.isEmpty()) {
        why = "GNOME's remote-desktop service made no session";
        return nullptr;
    }
    const QDBusMessage id =
        call(bus, remoteService, r->m_session, QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {sessionInterface, QStringLiteral("SessionId")});
    const QString sessionId =
        id.type() == QDBusMessage::ReplyMessage && !id.arguments().isEmpty()
            ? id.arguments().constFirst().value<QDBusVariant>().variant().toString()
            : QString();
    const QString cast =
        pathOf(call(bus, castService, QStringLiteral("/org/gnome/Mutter/ScreenCast"), castService,
                    QStringLiteral("CreateSession"),
                    {QVariantMap{{QStringLiteral("remote-desktop-session-id"), sessionId}}}));
    // No connector: the primary monitor.
    r->m_stream = cast.isEmpty()
                      ? QString()
                      : pathOf(call(bus, castService, cast, castSessionInterface,
                                    QStringLiteral("RecordMonitor"), {QString(), QVariantMap{}}));
    if (r->m_stream.isEmpty()) {
        why = "GNOME's screen cast of the monitor could not be made";
        return nullptr;
    }
    bus.connect(castService, r->m_stream, QStringLiteral("org.gnome.Mutter.ScreenCast.Stream"),
                QStringLiteral("PipeWireStreamAdded"), &r->m_streamAdded, SLOT(fire()));
    call(bus, remoteService, r->m_session, sessionInterface, QStringLiteral("Start"));
    if (!r->m_streamAdded.wait(streamLongest)) {
        why = "GNOME's screen cast did not start (PipeWire is not running?)";
        return nullptr;
    }
    return r;
}

MutterRemote::~MutterRemote() {
    if (!m_session.isEmpty()) {
        call(m_bus, remoteService, m_session, sessionInterface, QStringLiteral("Stop"));
    }
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(m_bus.name());
}

void MutterRemote::send(const QString& method, const QVariantList& args) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(remoteService, m_session, sessionInterface, method);
    m.setArguments(args);
    m_bus.send(m);
}

void MutterRemote::move(Point pixel) {
    send(QStringLiteral("NotifyPointerMotionAbsolute"), {m_stream, pixel.x + 0.5, pixel.y + 0.5});
}

void MutterRemote::button(std::uint32_t evdevButton, bool down) {
    send(QStringLiteral("NotifyPointerButton"), {static_cast<int>(evdevButton), down});
}

void MutterRemote::key(std::uint32_t evdevCode, bool down) {
    send(QStringLiteral("NotifyKeyboardKeycode"), {static_cast<uint>(evdevCode), down});
}

void MutterRemote::makeDevices(bool pointer, bool keyboard) {
    // GNOME makes a session's devices when they are first used: a move by
    // nothing makes the pointer, a key that no layout has the keyboard.
    if (pointer) {
        send(QStringLiteral("NotifyPointerMotionRelative"), {0.0, 0.0});
    }
    if (keyboard) {
        key(KEY_UNKNOWN, true);
        key(KEY_UNKNOWN, false);
    }
    sync();
}

void MutterRemote::sync() {
    // Answered by GNOME's own loop, after the calls before it.
    call(m_bus, remoteService, m_session, QStringLiteral("org.freedesktop.DBus.Properties"),
         QStringLiteral("Get"), {sessionInterface, QStringLiteral("SessionId")});
}

} // namespace pressmark::platform::wayland
