// GIO first: its structs have members named "signals", a Qt macro.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "SystemLinux.h"

#include "platform/desktop/CachePurge.h"
#include "platform/desktop/ProxyText.h"
#include "base/AppError.h"

#include <QFileInfo>
#include <QProcess>

#include <string>
#include <string_view>

namespace pressmark::platform::qt {
namespace {

constexpr const char* proxySchema = "org.gnome.system.proxy";

// A GSettings object for a schema, or null when the schema is not installed
// (g_settings_new would abort the program then).
GSettings* openSettings(const char* schemaId) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) {
        return nullptr;
    }
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
    if (!schema) {
        return nullptr;
    }
    g_settings_schema_unref(schema);
    return g_settings_new(schemaId);
}

struct SettingsRef {
    GSettings* p;
    explicit SettingsRef(const char* id) : p(openSettings(id)) {}
    ~SettingsRef() {
        if (p) {
            g_object_unref(p);
        }
    }
    SettingsRef(const SettingsRef&) = delete;
    SettingsRef& operator=(const SettingsRef&) = delete;
};

bool writable(GSettings* s, const char* key) {
    return s && g_settings_is_writable(s, key);
}

// The memory backend (GIO's choice when no other is installed) accepts every
// write and keeps it only in this process: nobody else ever sees the proxy.
bool backendKeepsNothing() {
    GSettingsBackend* b = g_settings_backend_get_default();
    const bool memory = b && std::string_view(G_OBJECT_TYPE_NAME(b)) == "GMemorySettingsBackend";
    if (b) {
        g_object_unref(b);
    }
    return memory;
}

std::string readString(const char* schemaId, const char* key) {
    SettingsRef s(schemaId);
    if (!s.p) {
        return {};
    }
    gchar* v = g_settings_get_string(s.p, key);
    std::string out = v ? v : "";
    g_free(v);
    return out;
}

int readInt(const char* schemaId, const char* key) {
    SettingsRef s(schemaId);
    return s.p ? g_settings_get_int(s.p, key) : -1;
}

} // namespace

void SystemLinux::setProxy(std::string_view proxy, bool enable) {
    // The server text first, then the switch, as with the two Windows values.
    const auto entries = desktop::parseProxyText(proxy);
    if (!entries || backendKeepsNothing()) {
        throw proxyDataError("ProxyServer");
    }
    for (const desktop::ProxyEntry& e : *entries) {
        const std::string id = std::string(proxySchema) + "." + e.protocol;
        SettingsRef s(id.c_str());
        if (!writable(s.p, "host") || !writable(s.p, "port") ||
            !g_settings_set_string(s.p, "host", e.host.c_str()) ||
            !g_settings_set_int(s.p, "port", e.port)) {
            throw proxyDataError("ProxyServer");
        }
    }
    // A backend that writes through a service (dconf over D-Bus) accepts a
    // write it cannot deliver and drops it when the delivery fails: only the
    // value read back after the sync proves that it was written.
    g_settings_sync();
    for (const desktop::ProxyEntry& e : *entries) {
        const std::string id = std::string(proxySchema) + "." + e.protocol;
        if (readString(id.c_str(), "host") != e.host || readInt(id.c_str(), "port") != e.port) {
            throw proxyDataError("ProxyServer");
        }
    }
    const char* mode = enable ? "manual" : "none";
    {
        SettingsRef s(proxySchema);
        if (!writable(s.p, "mode") || !g_settings_set_string(s.p, "mode", mode)) {
            throw proxyDataError("ProxyEnable");
        }
    }
    g_settings_sync();
    if (readString(proxySchema, "mode") != mode) {
        throw proxyDataError("ProxyEnable");
    }
}

void SystemLinux::clearCache() {
    desktop::purgeBrowserCaches(desktop::browserDirsFromEnvironment());
}

void SystemLinux::runProgram(const std::filesystem::path& path) {
    const QString file = QString::fromStdString(path.string());
    const QFileInfo info(file);
    if (info.isFile() && info.isExecutable()) {
        QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath());
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"), {file});
}

std::string SystemLinux::executablePath() {
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

} // namespace pressmark::platform::qt
