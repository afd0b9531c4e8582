#include "KdeServices.h"

#include "DBusCall.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace pressmark::platform::wayland {
namespace {

constexpr int timeoutMs = 2000;

QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args = {}) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return callOn(bus, service, path, interface, method, args, timeoutMs);
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

namespace {

std::string layoutRecordPath() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (!dir || !*dir) {
        return {};
    }
    return std::string(dir) + "/pressmark-kde-layout-" + (display ? display : "");
}

} // namespace

void rememberUserLayout(std::uint32_t layout) {
    const std::string path = layoutRecordPath();
    if (path.empty()) {
        return;
    }
    const std::string partial = path + ".new";
    if (std::FILE* f = std::fopen(partial.c_str(), "w")) {
        const bool written = std::fprintf(f, "%u\n", layout) > 0;
        if (std::fclose(f) == 0 && written) {
            std::rename(partial.c_str(), path.c_str());
        }
    }
}

void forgetUserLayout() {
    if (const std::string path = layoutRecordPath(); !path.empty()) {
        std::remove(path.c_str());
    }
}

void restoreLayout() {
    const std::string path = layoutRecordPath();
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        return;
    }
    unsigned layout = 0;
    const bool read = std::fscanf(f, "%u", &layout) == 1;
    std::fclose(f);
    if (!read || setLayout(layout)) {
        forgetUserLayout();
    }
}

std::optional<std::uint32_t> Layouts::active(std::uint32_t) {
    return activeLayout();
}

bool Layouts::switchTo(std::uint32_t group, std::uint32_t user) {
    rememberUserLayout(user);
    return setLayout(group);
}

void Layouts::restore(std::uint32_t user) {
    setLayout(user);
    forgetUserLayout();
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
    const QDBusMessage names =
        call(accelService, componentPath, componentInterface, QStringLiteral("shortcutNames"));
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

namespace {

// What KWin's scripts send back: each script names the question it answers
// with a number of its own. The answers arrive on a thread of their own, so
// that a question may be asked on any thread, and wait there.
class ScriptAnswers final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pressmark.KwinScript")
public:
    std::optional<QString> wait(int token, std::chrono::milliseconds longest) {
        std::unique_lock lock(m_mutex);
        if (!m_ready.wait_for(lock, longest, [&] { return m_answers.count(token) > 0; })) {
            return std::nullopt;
        }
        const QString text = m_answers[token];
        m_answers.erase(token);
        return text;
    }

public Q_SLOTS:
    Q_SCRIPTABLE void answer(int token, const QString& text) {
        {
            std::lock_guard lock(m_mutex);
            m_answers[token] = text;
        }
        m_ready.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::map<int, QString> m_answers;
};

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString scriptInterface = QStringLiteral("org.kde.kwin.Script");

class KwinDesktop final : public Desktop {
public:
    KwinDesktop()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("pressmark-kwin-scripts"))) {
        m_answers.moveToThread(&m_thread);
        m_thread.start();
        m_bus.registerObject(QStringLiteral("/pressmark"), &m_answers,
                             QDBusConnection::ExportScriptableSlots);
    }

    ~KwinDesktop() override {
        m_bus.unregisterObject(QStringLiteral("/pressmark"));
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    // The topmost window at p on the current desktop, and whose it is. The
    // recording overlay (this program's, in KWin's overlay layer, 10) is
    // above them all and is no window of them.
    std::optional<Window> windowAt(Point p) override {
        const auto reply = ask(QStringLiteral(R"(
var best = null;
var all = workspace.clientList();
for (var i = 0; i < all.length; i++) {
    var c = all[i];
    var g = c.frameGeometry;
    if (c.minimized || !(c.onAllDesktops || c.desktop == workspace.currentDesktop) ||
        (c.pid == %3 && c.layer == 10) ||
        %1 < g.x || %2 < g.y || %1 >= g.x + g.width || %2 >= g.y + g.height) {
        continue;
    }
    if (!best || c.layer > best.layer ||
        (c.layer == best.layer && c.stackingOrder > best.stackingOrder)) {
        best = c;
    }
}
answer(best ? best.pid + " " + best.internalId : "");
)")
                                   .arg(p.x)
                                   .arg(p.y)
                                   .arg(::getpid()));
        if (!reply || reply->isEmpty()) {
            return std::nullopt;
        }
        const QStringList parts = reply->split(QLatin1Char(' '));
        if (parts.size() != 2) {
            return std::nullopt;
        }
        return Window{idOf(parts[1]), parts[0].toLongLong() == ::getpid()};
    }

    void setTypingTarget(std::optional<long> windowId) override {
        std::lock_guard lock(m_mutex);
        m_target = windowId;
    }

    // While recording, the window pressed last gets the focus back (the
    // prompt that asked for the text has just had it). In playback KWin has
    // given the focus with the click itself.
    void beforeTyping(std::optional<Point>) override {
        QString uuid;
        {
            std::lock_guard lock(m_mutex);
            if (!m_target || *m_target < 0 || *m_target >= static_cast<long>(m_uuids.size())) {
                return;
            }
            uuid = m_uuids[static_cast<std::size_t>(*m_target)];
        }
        ask(QStringLiteral(R"(
var all = workspace.clientList();
for (var i = 0; i < all.length; i++) {
    if (all[i].internalId == "%1") {
        workspace.activeClient = all[i];
    }
}
answer("");
)")
                .arg(uuid));
    }

private:
    // Runs a script whose answer(text) comes back here; nullopt when KWin
    // does not answer in time.
    std::optional<QString> ask(const QString& body) {
        int token = 0;
        {
            std::lock_guard lock(m_mutex);
            token = ++m_lastToken;
        }
        const QString name = QStringLiteral("pressmark-%1-%2").arg(::getpid()).arg(token);
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR", QDir::tempPath());
        const QString path = runtime + QLatin1Char('/') + name + QStringLiteral(".js");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return std::nullopt;
        }
        file.write(QStringLiteral("(function () {\n"
                                  "function answer(text) {\n"
                                  "    callDBus(\"%1\", \"/pressmark\", "
                                  "\"org.pressmark.KwinScript\", \"answer\", %2, text);\n"
                                  "}\n%3})();\n")
                       .arg(m_bus.baseService())
                       .arg(token)
                       .arg(body)
                       .toUtf8());
        file.close();
        std::optional<QString> reply;
        const QDBusMessage loaded =
            callOn(kwinService, QStringLiteral("/Scripting"), scriptingInterface,
                   QStringLiteral("loadScript"), {path, name});
        if (answered(loaded) && !loaded.arguments().isEmpty()) {
            const int id = loaded.arguments().constFirst().toInt();
            // KWin 5 puts the script at /<id>, KWin 6 at /Scripting/Script<id>.
            if (answered(callOn(kwinService, QStringLiteral("/%1").arg(id), scriptInterface,
                                QStringLiteral("run"))) ||
                answered(callOn(kwinService, QStringLiteral("/Scripting/Script%1").arg(id),
                                scriptInterface, QStringLiteral("run")))) {
                reply = m_answers.wait(token, std::chrono::seconds(1));
            }
            callOn(kwinService, QStringLiteral("/Scripting"), scriptingInterface,
                   QStringLiteral("unloadScript"), {name});
        }
        QFile::remove(path);
        return reply;
    }

    QDBusMessage callOn(const QString& service, const QString& path, const QString& interface,
                        const QString& method, const QVariantList& args = {}) {
        return wayland::callOn(m_bus, service, path, interface, method, args, timeoutMs);
    }

    // The Desktop's window numbers for KWin's window ids.
    long idOf(const QString& uuid) {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_uuids.size(); ++i) {
            if (m_uuids[i] == uuid) {
                return static_cast<long>(i);
            }
        }
        m_uuids.push_back(uuid);
        return static_cast<long>(m_uuids.size() - 1);
    }

    QDBusConnection m_bus;
    QThread m_thread;
    ScriptAnswers m_answers;
    std::mutex m_mutex;
    int m_lastToken = 0;
    std::vector<QString> m_uuids;
    std::optional<long> m_target;
};

} // namespace

std::unique_ptr<Desktop> makeKwinDesktop() {
    if (!kde::kwinRunning()) {
        return nullptr;
    }
    return std::make_unique<KwinDesktop>();
}

} // namespace pressmark::platform::wayland

#include "KdeServices.moc"
