#pragma once

#include "HotKeySet.h"
#include "platform/Backend.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QThread>
#include <QVariantMap>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace pressmark::platform::wayland {

// The portal's answers to requests (its Request objects' Response signal),
// kept by the request's object path until asked for. They arrive on a thread
// of their own, so that the thread that asked may wait for them.
class PortalAnswers final : public QObject {
    Q_OBJECT
public:
    using Answer = std::pair<uint, QVariantMap>;
    std::optional<Answer> wait(const QString& request, std::chrono::milliseconds longest);

public Q_SLOTS:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::map<QString, Answer> m_answers;
};

// Global hot keys through the desktop's global-shortcuts portal, where the
// compositor has no service of its own that the program speaks (Hyprland
// and the like; KDE too when PRESSMARK_HOTKEYS=portal asks for it).
//
// The portal binds the shortcuts of a session, and a session ends with the
// connection that made it: nothing is left behind by a run that was killed.
// The session holds all of the program's hot keys and is made again when
// they change, each time naming them all both when it is made and when they
// are bound: Plasma 5.27's portal reads them only at the first, the others
// at the second. A hot key the portal does not give back with a trigger is
// not had. The presses come as the portal's Activated signal, on the thread
// this object lives on.
class HotKeysPortal final : public QObject, public HotKeySet {
    Q_OBJECT
public:
    // Null when no portal with global shortcuts answers on the session bus.
    static std::unique_ptr<HotKeysPortal> create();
    ~HotKeysPortal() override;

private Q_SLOTS:
    void onActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong timestamp,
                     const QVariantMap& options);

private:
    HotKeysPortal();
    QString chordName(unsigned keyCode, unsigned modifiers) const override;
    // Closes the session there is and binds the wanted hot keys in a new
    // one; those the portal did not give go from the wanted ones.
    void bind() override;
    void closeSession();
    std::optional<PortalAnswers::Answer> request(const QString& method, QVariantList args);

    QDBusConnection m_bus;
    QThread m_thread;
    PortalAnswers m_answers;
    int m_requests = 0;
    QString m_session;
};

// The trigger as the portal names it ("CTRL+q") for a Windows virtual-key
// code and Win32 modifiers; empty when the key has no name here.
QString portalTrigger(unsigned keyCode, unsigned modifiers);

} // namespace pressmark::platform::wayland
