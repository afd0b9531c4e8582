#include "KdeServices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>

namespace pressmark::platform::wayland {
namespace {

constexpr int timeoutMs = 2000;

QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(args);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, timeoutMs);
}

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

const QString layoutsService = QStringLiteral("org.kde.keyboard");
const QString layoutsPath = QStringLiteral("/Layouts");
const QString layoutsInterface = QStringLiteral("org.kde.KeyboardLayouts");

const QString accelService = QStringLiteral("org.kde.kglobalaccel");
const QString accelPath = QStringLiteral("/kglobalaccel");
const QString accelInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString component = QStringLiteral("pressmark");
const QString componentPath = QStringLiteral("/component/pressmark");
const QString componentInterface = QStringLiteral("org.kde.kglobalaccel.Component");

// The service's name of an action: component, action, and the names shown
// for them in the desktop's shortcut settings.
QStringList actionId(const QString& action) {
    return {component, action, QStringLiteral("Pressmark"), action};
}

// setShortcut's flags: the action is there now, and no chord of an earlier
// run is taken over instead of the one given.
constexpr uint setPresent = 2;
constexpr uint noAutoloading = 4;

} // namespace

namespace kde {

std::optional<std::uint32_t> activeLayout() {
    const QDBusMessage reply =
        call(layoutsService, layoutsPath, layoutsInterface, QStringLiteral("getLayout"));
    if (!answered(reply) || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply.arguments().constFirst().toUInt();
}

bool setLayout(std::uint32_t layout) {
    const QDBusMessage reply = call(layoutsService, layoutsPath, layoutsInterface,
                                    QStringLiteral("setLayout"), {QVariant::fromValue(layout)});
    return answered(reply) && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

bool kwinRunning() {
    const auto* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(QStringLiteral("org.kde.KWin")).value();
}

} // namespace kde

int kdeChord(unsigned keyCode, unsigned modifiers) {
    int key = 0;
    if ((keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9')) {
        key = static_cast<int>(keyCode);             // Qt::Key_A.., Qt::Key_0..
    } else if (keyCode >= 0x70 && keyCode <= 0x87) { // VK_F1..VK_F24
        key = Qt::Key_F1 + static_cast<int>(keyCode - 0x70);
    } else {
        static const std::map<unsigned, int> others{
            {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab},      {0x0D, Qt::Key_Return},
            {0x13, Qt::Key_Pause},     {0x1B, Qt::Key_Escape},   {0x20, Qt::Key_Space},
            {0x21, Qt::Key_PageUp},    {0x22, Qt::Key_PageDown}, {0x23, Qt::Key_End},
            {0x24, Qt::Key_Home},      {0x25, Qt::Key_Left},     {0x26, Qt::Key_Up},
            {0x27, Qt::Key_Right},     {0x28, Qt::Key_Down},     {0x2C, Qt::Key_Print},
            {0x2D, Qt::Key_Insert},    {0x2E, Qt::Key_Delete}};
        const auto it = others.find(keyCode);
        if (it == others.end()) {
            return 0;
        }
        key = it->second;
    }
    for (const auto& [bit, qt] : {std::pair{ModControl, Qt::CTRL}, std::pair{ModAlt, Qt::ALT},
                                  std::pair{ModShift, Qt::SHIFT}, std::pair{ModWin, Qt::META}}) {
        if (modifiers & bit) {
            key |= static_cast<int>(qt);
        }
    }
    return key;
}

std::unique_ptr<HotKeysKde> HotKeysKde::create() {
    const auto* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(accelService).value()) {
        return nullptr;
    }
    std::unique_ptr<HotKeysKde> h(new HotKeysKde);
    // A run that was killed left its actions, holding their chords: they go
    // before this run asks for its own.
    const QDBusMessage names = call(accelService, componentPath, componentInterface,
                                    QStringLiteral("shortcutNames"), {QString()});
    if (answered(names) && !names.arguments().isEmpty()) {
        for (const QString& action : names.arguments().constFirst().toStringList()) {
            h->removeAction(action);
        }
    }
    QDBusConnection::sessionBus().connect(accelService, componentPath, componentInterface,
                                          QStringLiteral("globalShortcutPressed"), h.get(),
                                          SLOT(onPressed(QString, QString, qlonglong)));
    return h;
}

HotKeysKde::~HotKeysKde() {
    QDBusConnection::sessionBus().disconnect(accelService, componentPath, componentInterface,
                                             QStringLiteral("globalShortcutPressed"), this,
                                             SLOT(onPressed(QString, QString, qlonglong)));
    for (const auto& [id, action] : m_actions) {
        removeAction(action);
    }
}

bool HotKeysKde::registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) {
    unregisterHotKey(systemId);
    const int chord = kdeChord(keyCode, modifiers);
    if (chord == 0) {
        return false;
    }
    const QString action = QStringLiteral("hotkey%1").arg(systemId);
    const QStringList id = actionId(action);
    call(accelService, accelPath, accelInterface, QStringLiteral("doRegister"), {id});
    const QDBusMessage reply =
        call(accelService, accelPath, accelInterface, QStringLiteral("setShortcut"),
             {id, QVariant::fromValue(QList<int>{chord}), setPresent | noAutoloading});
    // The service gives back the chords the action got: none when another
    // component holds it.
    const QList<int> got = answered(reply) && !reply.arguments().isEmpty()
                               ? qdbus_cast<QList<int>>(reply.arguments().constFirst())
                               : QList<int>{};
    if (!got.contains(chord)) {
        removeAction(action);
        return false;
    }
    m_actions[systemId] = action;
    return true;
}

void HotKeysKde::unregisterHotKey(int systemId) {
    const auto it = m_actions.find(systemId);
    if (it != m_actions.end()) {
        removeAction(it->second);
        m_actions.erase(it);
    }
}

void HotKeysKde::setHandler(std::function<void(int systemId)> handler) {
    m_handler = std::move(handler);
}

void HotKeysKde::removeAction(const QString& action) {
    call(accelService, accelPath, accelInterface, QStringLiteral("unregister"),
         {component, action});
}

void HotKeysKde::onPressed(const QString& pressedComponent, const QString& action, qlonglong) {
    if (pressedComponent != component || !m_handler) {
        return;
    }
    for (const auto& [id, name] : m_actions) {
        if (name == action) {
            m_handler(id);
            return;
        }
    }
}

} // namespace pressmark::platform::wayland
