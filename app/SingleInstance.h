#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace pressmark {

// One window per user and display: the hot keys and the tray icon can be had
// only once. The first window listens on a local socket in the user's
// runtime folder; a later start finds it there, asks it to come to the front
// and ends. No D-Bus is needed, and a socket left by a crashed run answers
// nobody, so it is removed and taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's full path (see socketPath()).
    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // The path for this user and this display.
    static QString socketPath();

    // True when a running window took the request to come to the front;
    // otherwise this one now listens and will emit raiseRequested.
    bool handOver();

signals:
    void raiseRequested();

private:
    QString m_name;
    QLocalServer m_server;
};

} // namespace pressmark
