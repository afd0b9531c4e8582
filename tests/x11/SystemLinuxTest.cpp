// The proxy through GSettings (keyfile backend in a private config folder),
// and program launch.
#include <QApplication>
#include <QProcess>
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "platform/Platform.h"
#include "platform/x11/X11Backend.h"
#include "base/AppError.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace pressmark::x11test {
namespace {

namespace fs = std::filesystem;

std::string gsettingsGet(const char* schema, const char* key) {
    QProcess p;
    p.start(QStringLiteral("gsettings"), {"get", schema, key});
    p.waitForFinished(10000);
    return p.readAllStandardOutput().trimmed().toStdString();
}

// Runs with GSETTINGS_BACKEND=keyfile and a private XDG_CONFIG_HOME (ctest
// sets both), so that `gsettings get` reads what we wrote.
TEST(ProxyGSettings, SetProxyWritesTheGnomeProxySettings) {
    ASSERT_STREQ(std::getenv("GSETTINGS_BACKEND"), "keyfile");
    auto backend = platform::x11::makeBackend();
    backend->install();

    net::SetProxy("proxy.example:8080", true);
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy", "mode"), "'manual'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.http", "host"), "'proxy.example'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.http", "port"), "8080");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.https", "host"), "'proxy.example'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.https", "port"), "8080");

    net::SetProxy("прокси.рф:3128", true);
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.http", "host"), "'прокси.рф'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.https", "port"), "3128");

    net::SetProxy("http=a.example:1;ftp=f.example:21;socks=s.example:1080", true);
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.http", "host"), "'a.example'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.ftp", "port"), "21");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.socks", "host"), "'s.example'");
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy.https", "host"), "'прокси.рф'")
        << "a protocol not given keeps its setting";

    net::SetProxy("proxy.example:8080", false);
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy", "mode"), "'none'");

    try {
        net::SetProxy("proxy.example:port", true);
        ADD_FAILURE() << "no error for an unreadable proxy text";
    } catch (const AppError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'ProxyServer'");
    }
    EXPECT_EQ(gsettingsGet("org.gnome.system.proxy", "mode"), "'none'") << "nothing written";
}

// Runs with no schema installed anywhere (ctest points the schema search at
// an empty folder): an error, never the abort g_settings_new would cause.
TEST(ProxyNoSchema, MissingSchemaRaisesTheProxyServerError) {
    ASSERT_NE(std::getenv("GSETTINGS_SCHEMA_DIR"), nullptr);
    auto backend = platform::x11::makeBackend();
    backend->install();
    try {
        net::SetProxy("proxy.example:8080", true);
        ADD_FAILURE() << "no error without the schema";
    } catch (const AppError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'ProxyServer'");
    }
}

// Runs with a settings backend that takes writes and never delivers them:
// dconf with no D-Bus session to reach its service, and the memory backend
// GIO falls back to (ctest runs this test under both).
TEST(ProxyUndelivered, AWriteThatDoesNotHappenRaisesTheProxyServerError) {
    ASSERT_NE(std::getenv("GSETTINGS_BACKEND"), nullptr);
    auto backend = platform::x11::makeBackend();
    backend->install();
    try {
        net::SetProxy("undelivered.example:8080", true);
        ADD_FAILURE() << "no error for a write that did not happen";
    } catch (const AppError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'ProxyServer'");
    }
}

} // namespace
} // namespace pressmark::x11test

namespace pressmark::x11test {
namespace {

void write(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

// An executable is started (detached, in its own folder); a missing file is
// not an error; the program folder is the folder of this very executable.
TEST(SystemLinux, RunProgramStartsAnExecutableAndAppDirIsTheProgramFolder) {
    const fs::path dir = fs::temp_directory_path() / ("pressmark-run-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path script = dir / "tool with blank.sh";
    write(script, "#!/bin/sh\npwd > ran.txt\n");
    fs::permissions(script, fs::perms::owner_all);
    auto backend = platform::x11::makeBackend();
    backend->install();
    sf::RunProgram(script);
    sf::RunProgram(dir / "missing.exe");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir / "ran.txt") && std::chrono::steady_clock::now() < deadline) {
        pump(std::chrono::milliseconds(20));
    }
    pump(std::chrono::milliseconds(100));
    std::ifstream in(dir / "ran.txt");
    std::string cwd;
    std::getline(in, cwd);
    EXPECT_EQ(fs::path(cwd), dir) << "started in its own folder";

    const std::string appDir = sf::AppDir();
    EXPECT_EQ(appDir, fs::canonical("/proc/self/exe").parent_path().string() + "/");
    fs::remove_all(dir);
}

} // namespace
} // namespace pressmark::x11test
