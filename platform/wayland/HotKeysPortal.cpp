#include "HotKeysPortal.h"

#include "DBusCall.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QList>

namespace {

// One shortcut as the portal takes and gives them: (sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s) {
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s) {
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace pressmark::platform::wayland {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// A call answered at once; the portal starts on the first (activated by the
// bus), which may take a while.
constexpr int callTimeoutMs = 10000;
// The answer to a request: a desktop may ask the user first.
constexpr std::chrono::minutes longestAnswer{2};

QDBusMessage call(QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args) {
    return callOn(bus, portalService, path, interface, method, args, callTimeoutMs);
}

QString shortcutId(int systemId) {
    return QStringLiteral("hotkey%1").arg(systemId);
}

QList<PortalShortcut> shortcutList(const std::map<int, QString>& wanted) {
    QList<PortalShortcut> list;
    for (const auto& [id, trigger] : wanted) {
        QString shown = trigger;
        shown.replace(QStringLiteral("CTRL"), QStringLiteral("Ctrl"))
            .replace(QStringLiteral("ALT"), QStringLiteral("Alt"))
            .replace(QStringLiteral("SHIFT"), QStringLiteral("Shift"))
            .replace(QStringLiteral("LOGO"), QStringLiteral("Meta"));
        list.push_back({shortcutId(id),
                        {{QStringLiteral("description"), QStringLiteral("Pressmark: ") + shown},
                         {QStringLiteral("preferred_trigger"), trigger}}});
    }
    return list;
}

// The shortcuts an answer gives, each with its trigger as the portal
// describes it; nullopt when the answer lists none. A portal that gives no
// descriptions at all is taken at its word that the shortcut is bound.
std::optional<std::map<QString, QString>> givenShortcuts(const QVariantMap& results) {
    const auto it = results.find(QStringLiteral("shortcuts"));
    if (it == results.end() || !it->canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const auto arg = it->value<QDBusArgument>();
    std::map<QString, QString> given;
    arg.beginArray();
    while (!arg.atEnd()) {
        PortalShortcut s;
        arg >> s;
        const auto trigger = s.properties.find(QStringLiteral("trigger_description"));
        given[s.id] = trigger == s.properties.end() ? QStringLiteral("?") : trigger->toString();
    }
    arg.endArray();
    return given;
}

QString pathIn(const QVariant& v) {
    return v.canConvert<QDBusObjectPath>() ? v.value<QDBusObjectPath>().path() : v.toString();
}

} // namespace

QString portalTrigger(unsigned keyCode, unsigned modifiers) {
    static const char* const names[4] = {"CTRL+", "ALT+", "SHIFT+", "LOGO+"};
    return chordText(keyCode, modifiers, names);
}

std::optional<PortalAnswers::Answer> PortalAnswers::wait(const QString& request,
                                                         std::chrono::milliseconds longest) {
    std::unique_lock lock(m_mutex);
    if (!m_ready.wait_for(lock, longest, [&] { return m_answers.count(request) > 0; })) {
        return std::nullopt;
    }
    Answer answer = m_answers[request];
    m_answers.erase(request);
    return answer;
}

void PortalAnswers::response(uint code, const QVariantMap& results, const QDBusMessage& message) {
    {
        std::lock_guard lock(m_mutex);
        m_answers[message.path()] = {code, results};
    }
    m_ready.notify_all();
}

HotKeysPortal::HotKeysPortal()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("pressmark-portal"))) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_answers.moveToThread(&m_thread);
    m_thread.start();
    // Every request's answer is sent to this connection alone.
    m_bus.connect(portalService, QString(), QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), &m_answers,
                  SLOT(response(uint, QVariantMap, QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

std::unique_ptr<HotKeysPortal> HotKeysPortal::create() {
    std::unique_ptr<HotKeysPortal> h(new HotKeysPortal);
    if (!h->m_bus.isConnected()) {
        return nullptr;
    }
    // Newer portals learn a program's name this way (it must come first on
    // the connection); older ones do not know the call, and that is fine.
    call(h->m_bus, portalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
         QStringLiteral("Register"), {QStringLiteral("pressmark"), QVariantMap{}});
    const QDBusMessage version =
        call(h->m_bus, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {shortcutsInterface, QStringLiteral("version")});
    if (version.type() != QDBusMessage::ReplyMessage) {
        return nullptr;
    }
    return h;
}

HotKeysPortal::~HotKeysPortal() {
    closeSession();
    m_bus.disconnect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"),
                     this, SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(m_bus.name());
}

QString HotKeysPortal::chordName(unsigned keyCode, unsigned modifiers) const {
    return portalTrigger(keyCode, modifiers);
}

void HotKeysPortal::onActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong,
                                const QVariantMap&) {
    if (session.path() != m_session || !m_handler) {
        return;
    }
    for (const auto& [id, trigger] : m_wanted) {
        if (shortcutId(id) == shortcut) {
            m_handler(id);
            return;
        }
    }
}

std::optional<PortalAnswers::Answer> HotKeysPortal::request(const QString& method,
                                                            QVariantList args) {
    // The request's object path is known before the call, so that an answer
    // that comes before the call returns is not missed.
    const QString token = QStringLiteral("pressmark%1").arg(++m_requests);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    QVariantMap options = args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.push_back(options);
    const QDBusMessage reply = call(m_bus, portalPath, shortcutsInterface, method, args);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return m_answers.wait(pathIn(reply.arguments().constFirst()), longestAnswer);
}

void HotKeysPortal::closeSession() {
    if (!m_session.isEmpty()) {
        call(m_bus, m_session, QStringLiteral("org.freedesktop.portal.Session"),
             QStringLiteral("Close"), {});
        m_session.clear();
    }
}

void HotKeysPortal::bind() {
    closeSession();
    if (m_wanted.empty()) {
        return;
    }
    const QVariant shortcuts = QVariant::fromValue(shortcutList(m_wanted));
    // One name for every session, so that the desktop's shortcut settings
    // keep one entry for the program, with the user's changes to it. (Plasma
    // names it so: apart from the one KDE's own service has the hot keys in.)
    const auto created = request(
        QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("session_handle_token"), QStringLiteral("pressmark_portal")},
                     {QStringLiteral("shortcuts"), shortcuts}}});
    if (!created || created->first != 0) {
        m_wanted.clear();
        return;
    }
    m_session = pathIn(created->second.value(QStringLiteral("session_handle")));
    const auto bound =
        request(QStringLiteral("BindShortcuts"), {QVariant::fromValue(QDBusObjectPath(m_session)),
                                                  shortcuts, QString(), QVariantMap{}});
    std::optional<std::map<QString, QString>> given;
    if (bound && bound->first == 0) {
        given = givenShortcuts(bound->second);
    }
    if (!given && !(bound && bound->first != 0)) {
        given = givenShortcuts(created->second); // a portal that binds at creation only
    }
    for (auto it = m_wanted.begin(); it != m_wanted.end();) {
        const bool had = given && given->count(shortcutId(it->first)) > 0 &&
                         !given->at(shortcutId(it->first)).isEmpty();
        it = had ? std::next(it) : m_wanted.erase(it);
    }
    if (m_wanted.empty()) {
        closeSession();
    }
}

} // namespace pressmark::platform::wayland
