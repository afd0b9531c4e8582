#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace pressmark::platform::wayland {

// A method call on bus that waits at most timeoutMs for its answer: the
// reply, or the error that stands for it.
inline QDBusMessage callOn(QDBusConnection& bus, const QString& service, const QString& path,
                           const QString& interface, const QString& method,
                           const QVariantList& args, int timeoutMs) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, timeoutMs);
}

} // namespace pressmark::platform::wayland
