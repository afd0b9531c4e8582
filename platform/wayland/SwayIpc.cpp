#include "SwayIpc.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pressmark::platform::wayland {
namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t headerSize = sizeof magic + 2 * sizeof(std::uint32_t);
// sway answers in milliseconds; a compositor that hangs must not hang us.
constexpr int replyTimeoutMs = 3000;

QJsonDocument parseJson(std::string_view json) {
    return QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())));
}

} // namespace

std::unique_ptr<SwayIpc> SwayIpc::connect(const char* socketPath) {
    if (socketPath == nullptr) {
        socketPath = std::getenv("SWAYSOCK");
    }
    sockaddr_un addr{};
    if (socketPath == nullptr || *socketPath == '\0' ||
        std::strlen(socketPath) >= sizeof addr.sun_path) {
        return nullptr;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, socketPath);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return nullptr;
    }
    // A write to a compositor that stopped reading gives up as a read does.
    const timeval tv{replyTimeoutMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return std::unique_ptr<SwayIpc>(new SwayIpc(fd, socketPath));
}

SwayIpc::SwayIpc(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

SwayIpc::~SwayIpc() {
    ::close(m_fd);
}

int SwayIpc::fd() const {
    return m_fd;
}

const std::string& SwayIpc::socketPath() const {
    return m_path;
}

bool SwayIpc::sendLocked(std::uint32_t type, std::string_view payload) {
    if (m_broken) {
        return false;
    }
    std::string msg(magic, sizeof magic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    msg.append(reinterpret_cast<const char*>(&length), sizeof length);
    msg.append(reinterpret_cast<const char*>(&type), sizeof type);
    msg.append(payload);
    std::size_t sent = 0;
    while (sent < msg.size()) {
        const ssize_t n = ::send(m_fd, msg.data() + sent, msg.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_broken = true;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool SwayIpc::readSomeLocked(int timeoutMs) {
    if (m_broken) {
        return false;
    }
    pollfd pfd{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        return timeoutMs == 0; // nothing yet is no failure for a look without waiting
    }
    char buf[16384];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            m_in.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        m_broken = true; // closed, or an error
        return false;
    }
}

std::optional<SwayIpc::Message> SwayIpc::parseLocked() {
    if (m_in.size() < headerSize) {
        return std::nullopt;
    }
    if (m_in.compare(0, sizeof magic, magic, sizeof magic) != 0) {
        m_broken = true; // out of step: nothing after this can be trusted
        return std::nullopt;
    }
    std::uint32_t length = 0;
    Message msg;
    std::memcpy(&length, m_in.data() + sizeof magic, sizeof length);
    std::memcpy(&msg.type, m_in.data() + sizeof magic + sizeof length, sizeof msg.type);
    if (m_in.size() < headerSize + length) {
        return std::nullopt;
    }
    msg.payload = m_in.substr(headerSize, length);
    m_in.erase(0, headerSize + length);
    return msg;
}

std::optional<std::string> SwayIpc::request(std::uint32_t type, std::string_view payload) {
    std::lock_guard lock(m_mutex);
    if (!sendLocked(type, payload)) {
        return std::nullopt;
    }
    for (;;) {
        while (auto msg = parseLocked()) {
            if (msg->type & EventBit) {
                m_events.push_back(std::move(*msg));
            } else if (msg->type == type) {
                return std::move(msg->payload);
            }
        }
        if (!readSomeLocked(replyTimeoutMs)) {
            m_broken = true; // a reply that comes later would answer the next request
            return std::nullopt;
        }
    }
}

bool SwayIpc::command(std::string_view commands, std::string* error) {
    const auto reply = request(RunCommand, commands);
    const QJsonArray results = reply ? parseJson(*reply).array() : QJsonArray();
    if (results.isEmpty()) {
        if (error) {
            *error = reply ? "sway did not understand the command" : "sway did not answer";
        }
        return false;
    }
    for (const QJsonValue& r : results) {
        const QJsonObject o = r.toObject();
        if (!o.value(QLatin1String("success")).toBool()) {
            if (error) {
                *error = o.value(QLatin1String("error")).toString().toStdString();
            }
            return false;
        }
    }
    return true;
}

std::optional<std::string> SwayIpc::tree() {
    return request(GetTree, {});
}

bool SwayIpc::subscribe(std::string_view eventsJson) {
    const auto reply = request(Subscribe, eventsJson);
    return reply && parseJson(*reply).object().value(QLatin1String("success")).toBool();
}

std::vector<SwayIpc::Message> SwayIpc::takeEvents(bool* open) {
    std::lock_guard lock(m_mutex);
    readSomeLocked(0);
    while (auto msg = parseLocked()) {
        if (msg->type & EventBit) {
            m_events.push_back(std::move(*msg));
        }
    }
    if (open) {
        *open = !m_broken;
    }
    std::vector<Message> events(std::make_move_iterator(m_events.begin()),
                                std::make_move_iterator(m_events.end()));
    m_events.clear();
    return events;
}

// ---- the tree ----

namespace {

Rect rectOf(const QJsonObject& node) {
    const QJsonObject r = node.value(QLatin1String("rect")).toObject();
    return {r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
            r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt()};
}

bool contains(const Rect& r, Point p) {
    return p.x >= r.x && p.y >= r.y && p.x < r.x + r.width && p.y < r.y + r.height;
}

QString typeOf(const QJsonObject& node) {
    return node.value(QLatin1String("type")).toString();
}

QJsonArray children(const QJsonObject& node, const char* key = "nodes") {
    return node.value(QLatin1String(key)).toArray();
}

// A window of a program, as opposed to a container that splits the space.
bool isWindow(const QJsonObject& node) {
    const QString type = typeOf(node);
    return (type == QLatin1String("con") || type == QLatin1String("floating_con")) &&
           node.contains(QLatin1String("pid"));
}

SwayWindow windowOf(const QJsonObject& node) {
    return {static_cast<long>(node.value(QLatin1String("id")).toInteger()),
            node.value(QLatin1String("pid")).toInt(), rectOf(node),
            node.value(QLatin1String("focused")).toBool()};
}

qint64 firstFocus(const QJsonObject& node) {
    const QJsonArray focus = children(node, "focus");
    return focus.isEmpty() ? -1 : focus.first().toInteger();
}

// The window of this container's subtree that shows at p.
std::optional<SwayWindow> hit(const QJsonObject& node, Point p) {
    if (!contains(rectOf(node), p)) {
        return std::nullopt;
    }
    if (isWindow(node)) {
        return windowOf(node);
    }
    // Of a tabbed or stacked container only the child in front shows.
    const QString layout = node.value(QLatin1String("layout")).toString();
    const bool oneShown = layout == QLatin1String("tabbed") || layout == QLatin1String("stacked");
    const qint64 front = firstFocus(node);
    for (const QJsonValue& c : children(node)) {
        const QJsonObject child = c.toObject();
        if (oneShown && child.value(QLatin1String("id")).toInteger() != front) {
            continue;
        }
        if (auto w = hit(child, p)) {
            return w;
        }
    }
    return std::nullopt;
}

// The fullscreen container of this mode (1: its workspace, 2: the whole
// layout) under node, tiled or floating. (Workspaces report mode 1 of
// themselves: a workspace is searched, never matched.)
std::optional<QJsonObject> fullscreenIn(const QJsonObject& node, int mode) {
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& c : children(node, key)) {
            const QJsonObject child = c.toObject();
            if (child.value(QLatin1String("fullscreen_mode")).toInt() == mode) {
                return child;
            }
            if (auto f = fullscreenIn(child, mode)) {
                return f;
            }
        }
    }
    return std::nullopt;
}

// The workspace an output shows: sway names it (current_workspace); older
// replies give it as the first of the output's focus order.
std::optional<QJsonObject> visibleWorkspace(const QJsonObject& output) {
    const QString current = output.value(QLatin1String("current_workspace")).toString();
    const qint64 front = firstFocus(output);
    for (const QJsonValue& w : children(output)) {
        const QJsonObject ws = w.toObject();
        if (current.isEmpty() ? ws.value(QLatin1String("id")).toInteger() == front
                              : ws.value(QLatin1String("name")).toString() == current) {
            return ws;
        }
    }
    return std::nullopt;
}

std::optional<SwayWindow> findFocused(const QJsonObject& node) {
    if (isWindow(node) && node.value(QLatin1String("focused")).toBool()) {
        return windowOf(node);
    }
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& c : children(node, key)) {
            if (auto w = findFocused(c.toObject())) {
                return w;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<SwayWindow> windowAt(std::string_view treeJson, Point p) {
    const QJsonObject root = parseJson(treeJson).object();
    if (const auto global = fullscreenIn(root, 2); global && contains(rectOf(*global), p)) {
        return hit(*global, p);
    }
    for (const QJsonValue& o : children(root)) {
        const QJsonObject output = o.toObject();
        // The scratchpad lives on a hidden output of its own.
        if (output.value(QLatin1String("name")).toString().startsWith(QLatin1String("__")) ||
            !contains(rectOf(output), p)) {
            continue;
        }
        const auto ws = visibleWorkspace(output);
        if (!ws) {
            return std::nullopt;
        }
        if (const auto full = fullscreenIn(*ws, 1)) {
            return hit(*full, p);
        }
        const QJsonArray floating = children(*ws, "floating_nodes");
        for (auto it = floating.end(); it != floating.begin();) {
            if (auto w = hit((*--it).toObject(), p)) {
                return w;
            }
        }
        for (const QJsonValue& c : children(*ws)) {
            if (auto w = hit(c.toObject(), p)) {
                return w;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<SwayWindow> focusedWindow(std::string_view treeJson) {
    return findFocused(parseJson(treeJson).object());
}

} // namespace pressmark::platform::wayland
