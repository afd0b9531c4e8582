#pragma once

#include "platform/Backend.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace pressmark::platform::wayland {

// A signal awaited by another thread: it is heard on a thread of its own.
class SignalLatch final : public QObject {
    Q_OBJECT
public:
    bool wait(std::chrono::milliseconds longest);

public Q_SLOTS:
    void fire();

private:
    std::mutex m_mutex;
    std::condition_variable m_fired;
    bool m_done = false;
};

// GNOME's compositor has no Wayland protocol for sending input: it takes
// input from a remote-desktop session of its own, over the session bus, with
// no dialog (the shell shows its sharing indicator meanwhile). A move to a
// pixel needs a screen cast of the monitor, linked to the session: one of
// the primary monitor is made, which PipeWire carries and nobody reads. The
// session ends with the connection, so a run that is killed leaves nothing.
// Calls go out in order without waiting; sync() waits for all of them.
class MutterRemote {
public:
    // Null, with why (one line), when the session or its screen cast cannot
    // be had.
    static std::unique_ptr<MutterRemote> start(std::string& why);
    ~MutterRemote();
    MutterRemote(const MutterRemote&) = delete;
    MutterRemote& operator=(const MutterRemote&) = delete;

    // To the centre of a pixel of the primary monitor, counted from its
    // corner.
    void move(Point pixel);
    void button(std::uint32_t evdevButton, bool down);
    // A key of the active input source, by its evdev code.
    void key(std::uint32_t evdevCode, bool down);
    // Makes the devices now rather than at their first use.
    void makeDevices(bool pointer, bool keyboard);
    // Returns once GNOME has taken everything sent before.
    void sync();

private:
    MutterRemote();
    void send(const QString& method, const QVariantList& args);

    QDBusConnection m_bus;
    QString m_session;
    QString m_stream;
    QThread m_thread;
    SignalLatch m_streamAdded;
};

} // namespace pressmark::platform::wayland
