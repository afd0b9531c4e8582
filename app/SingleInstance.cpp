#include "SingleInstance.h"

#include <QDir>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QStandardPaths>

namespace pressmark {
namespace {

constexpr int kWaitMs = 2000;
const QByteArray kRaise = "raise\n";
const QByteArray kDone = "ok\n";

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server.nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->canReadLine() && s->readLine() == kRaise) {
                    emit raiseRequested();
                    s->write(kDone);
                    s->flush();
                }
            });
        }
    });
}

QString SingleInstance::socketPath() {
    // The runtime folder is the user's own; the user's name keeps the
    // shared temporary folder apart should there be none.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    // The display is part of the name: each X server, and each Wayland
    // compositor, has its own hot keys.
    QString display = QGuiApplication::platformName() == QLatin1String("wayland")
                          ? QStringLiteral("wayland-") + qEnvironmentVariable("WAYLAND_DISPLAY")
                          : qEnvironmentVariable("DISPLAY");
    for (QString* part : {&user, &display}) {
        part->replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    return QDir(dir).filePath(QStringLiteral("pressmark-%1-%2.socket").arg(user, display));
}

bool SingleInstance::handOver() {
    // Two starts at the same moment must not both find nobody and then take
    // the socket from each other: the look and the listen happen under a
    // lock, which QLockFile frees when the run holding it has died.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.tryLock(kWaitMs);

    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(kWaitMs)) {
        socket.write(kRaise);
        socket.waitForBytesWritten(kWaitMs);
        // The answer says the window came forward; a window too busy to
        // answer (a run in progress) still had the request, and a second
        // one must not start beside it in any case.
        socket.waitForReadyRead(kWaitMs);
        return true;
    }
    // Nobody answers: a crashed run's socket, or none.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_name);
    return false;
}

} // namespace pressmark
