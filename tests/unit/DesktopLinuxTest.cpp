// What the desktop backend does without the window system: the proxy text's
// syntax, and the browser cache purge on a fabricated home.
#include "platform/desktop/CachePurge.h"
#include "platform/desktop/ProxyText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace pressmark::platform::desktop {
namespace {

namespace fs = std::filesystem;

TEST(ProxyText, ParsesTheTextsTheSettingAccepts) {
    using V = std::vector<ProxyEntry>;
    const struct {
        const char* text;
        std::optional<V> expected;
    } cases[] = {
        {"proxy.example:8080",
         V{{"http", "proxy.example", 8080}, {"https", "proxy.example", 8080}}},
        {" 10.0.0.1:3128 ", V{{"http", "10.0.0.1", 3128}, {"https", "10.0.0.1", 3128}}},
        {"host", V{{"http", "host", 80}, {"https", "host", 80}}},
        {"http://host:81/", V{{"http", "host", 81}, {"https", "host", 81}}},
        {"[::1]:8080", V{{"http", "::1", 8080}, {"https", "::1", 8080}}},
        {"http=a:1;https=b:2;ftp=c:3;socks=d:4",
         V{{"http", "a", 1}, {"https", "b", 2}, {"ftp", "c", 3}, {"socks", "d", 4}}},
        {"HTTPS=b:65535;", V{{"https", "b", 65535}}},
        {"socks=s:1080;socks=t:1081", V{{"socks", "t", 1081}}},
        {"", std::nullopt},
        {"host:", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"host:80a", std::nullopt},
        {":80", std::nullopt},
        {"gopher=g:70", std::nullopt},
        {"http=a:1;b:2", std::nullopt},
        {"a b:80", std::nullopt},
        {";;", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseProxyText(c.text), c.expected) << '"' << c.text << '"';
    }
}

void write(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->is_symlink()) {
            files[fs::relative(it->path(), root).string()] =
                "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            files[fs::relative(it->path(), root).string()] = ss.str();
        }
    }
    return files;
}

TEST(CachePurge, RemovesBrowserCachesAndCookiesAndNothingElse) {
    const fs::path home =
        fs::temp_directory_path() / ("pressmark-home-" + std::to_string(getpid()));
    fs::remove_all(home);
    const fs::path outside = home.string() + "-outside";
    fs::remove_all(outside);
    const std::vector<std::string> mustGo = {
        ".mozilla/firefox/abcd.default-release/cookies.sqlite",
        ".mozilla/firefox/abcd.default-release/cookies.sqlite-wal",
        ".mozilla/firefox/abcd.default-release/cookies.sqlite-shm",
        ".mozilla/firefox/efgh.other/cookies.sqlite",
        ".cache/mozilla/firefox/abcd.default-release/cache2/entries/0A1B",
        ".cache/mozilla/firefox/abcd.default-release/cache2/index",
        ".config/chromium/Default/Cookies",
        ".config/chromium/Default/Cookies-journal",
        ".config/chromium/Profile 1/Network/Cookies",
        ".config/google-chrome/Default/Network/Cookies-journal",
        ".cache/chromium/Default/Cache/Cache_Data/data_0",
        ".cache/google-chrome/Profile 2/Cache/Cache_Data/f_000001",
        ".config/BraveSoftware/Brave-Browser/Default/Cookies",
        ".cache/BraveSoftware/Brave-Browser/Default/Cache/Cache_Data/index",
        ".config/vivaldi/Default/Network/Cookies",
        ".config/microsoft-edge/Default/Cookies",
        ".config/opera/Cookies",
        ".cache/opera/Cache/Cache_Data/index",
    };
    const std::vector<std::string> mustStay = {
        ".mozilla/firefox/profiles.ini",
        ".mozilla/firefox/abcd.default-release/places.sqlite",
        ".mozilla/firefox/abcd.default-release/key4.db",
        ".mozilla/firefox/abcd.default-release/logins.json",
        ".mozilla/firefox/abcd.default-release/prefs.js",
        ".mozilla/firefox/abcd.default-release/cookies.sqlite.bak",
        ".cache/mozilla/firefox/abcd.default-release/startupCache/s.bin",
        ".config/chromium/Default/Preferences",
        ".config/chromium/Default/History",
        ".config/chromium/Default/Login Data",
        ".config/chromium/Default/Bookmarks",
        ".config/chromium/Default/Code Cache/js/index",
        ".config/chromium/Profile 1/Preferences",
        ".config/chromium/Local State",
        ".config/chromium/NotAProfile/Cookies",
        ".config/google-chrome/Default/Preferences",
        ".config/BraveSoftware/Brave-Browser/Default/Preferences",
        ".config/vivaldi/Default/Preferences",
        ".config/microsoft-edge/Default/Preferences",
        ".config/opera/Preferences",
        ".cache/other-app/Cache/data",
        ".config/other-app/Default/Cookies",
        "Documents/Cookies",
    };
    for (const auto& f : mustGo) {
        write(home / f, "gone:" + f);
    }
    for (const auto& f : mustStay) {
        write(home / f, "kept:" + f);
    }
    // A cache folder that is a link elsewhere: the link goes, never what it
    // points to.
    write(outside / "precious", "kept");
    fs::create_directories(home / ".cache/vivaldi/Default");
    fs::create_directory_symlink(outside, home / ".cache/vivaldi/Default/Cache");
    const auto before = snapshot(home);
    const auto outsideBefore = snapshot(outside);

    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
    purgeBrowserCaches(browserDirsFromEnvironment());
    setenv("HOME", savedHome.c_str(), 1);

    for (const auto& f : mustGo) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(home / f))) << f;
    }
    EXPECT_FALSE(fs::exists(home / ".cache/chromium/Default/Cache")) << "the cache folder itself";
    EXPECT_FALSE(fs::exists(fs::symlink_status(home / ".cache/vivaldi/Default/Cache")));
    auto after = snapshot(home);
    for (const auto& f : mustStay) {
        ASSERT_TRUE(after.count(f)) << f;
        EXPECT_EQ(after[f], before.at(f)) << f;
    }
    EXPECT_EQ(after.size(), mustStay.size()) << "nothing else vanished or appeared";
    EXPECT_EQ(snapshot(outside), outsideBefore);
    fs::remove_all(home);
    fs::remove_all(outside);
}

} // namespace
} // namespace pressmark::platform::desktop
