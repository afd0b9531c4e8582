// GIO first: its structs have members named "signals", a Qt macro.
#include <gio/gio.h>

#include "SystemX11.h"

#include "CachePurge.h"
#include "ProxyText.h"
#include "scenario/AppError.h"
#include "scenario/Cp1251.h"

#include <QFileInfo>
#include <QProcess>

namespace pressmark::platform::x11 {
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

} // namespace

void SystemX11::setProxy(std::string_view proxyCp1251, bool enable) {
    // The server text first, then the switch, as with the two Windows values.
    const auto entries = parseProxyText(cp1251::toUtf8(proxyCp1251));
    if (!entries) {
        throw proxyDataError("ProxyServer");
    }
    for (const ProxyEntry& e : *entries) {
        const std::string id = std::string(proxySchema) + "." + e.protocol;
        SettingsRef s(id.c_str());
        if (!writable(s.p, "host") || !writable(s.p, "port") ||
            !g_settings_set_string(s.p, "host", e.host.c_str()) ||
            !g_settings_set_int(s.p, "port", e.port)) {
            throw proxyDataError("ProxyServer");
        }
    }
    SettingsRef mode(proxySchema);
    if (!writable(mode.p, "mode") ||
        !g_settings_set_string(mode.p, "mode", enable ? "manual" : "none")) {
        throw proxyDataError("ProxyEnable");
    }
    // Written now, not when the main loop would get round to it.
    g_settings_sync();
}

void SystemX11::clearCache() {
    purgeBrowserCaches(browserDirsFromEnvironment());
}

void SystemX11::runProgram(const std::filesystem::path& path) {
    const QString file = QString::fromStdString(path.string());
    const QFileInfo info(file);
    if (info.isFile() && info.isExecutable()) {
        QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath());
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"), {file});
}

std::string SystemX11::executablePath() {
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

} // namespace pressmark::platform::x11
