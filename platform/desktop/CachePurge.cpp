#include "CachePurge.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace pressmark::platform::desktop {
namespace fs = std::filesystem;
namespace {

// Chromium and the browsers built on it, as folders under the XDG config and
// cache roots.
constexpr const char* chromiumFamily[] = {
    "chromium",
    "google-chrome",
    "google-chrome-beta",
    "google-chrome-unstable",
    "BraveSoftware/Brave-Browser",
    "BraveSoftware/Brave-Browser-Beta",
    "BraveSoftware/Brave-Browser-Nightly",
    "vivaldi",
    "vivaldi-snapshot",
    "microsoft-edge",
    "microsoft-edge-beta",
    "microsoft-edge-dev",
    "opera",
    "opera-beta",
    "opera-developer",
};

constexpr const char* firefoxCookieFiles[] = {
    "cookies.sqlite",
    "cookies.sqlite-wal",
    "cookies.sqlite-shm",
    "cookies.sqlite-journal",
};

constexpr const char* chromiumCookieFiles[] = {
    "Cookies",
    "Cookies-journal",
    "Network/Cookies",
    "Network/Cookies-journal",
};

bool isRealDir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(p, ec));
}

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// Removes p and, for a real folder, everything in it that can be removed.
int removeTree(const fs::path& p) {
    int removed = 0;
    std::error_code ec;
    if (isRealDir(p)) {
        std::vector<fs::path> children;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
            children.push_back(it->path());
        }
        for (const auto& child : children) {
            removed += removeTree(child);
        }
    }
    if (fs::remove(p, ec)) {
        ++removed;
    }
    return removed;
}

int removeIfPresent(const fs::path& p) {
    return present(p) ? removeTree(p) : 0;
}

std::vector<fs::path> subdirs(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (isRealDir(it->path())) {
            out.push_back(it->path());
        }
    }
    return out;
}

void addUnique(std::vector<fs::path>& v, const fs::path& p) {
    if (!p.empty() && std::find(v.begin(), v.end(), p) == v.end()) {
        v.push_back(p);
    }
}

} // namespace

BrowserDirs browserDirsFromEnvironment() {
    BrowserDirs d;
    const char* home = std::getenv("HOME");
    d.home = home ? fs::path(home) : fs::path();
    const auto fromEnv = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v == '/' ? fs::path(v) : fs::path();
    };
    addUnique(d.configRoots, fromEnv("XDG_CONFIG_HOME"));
    addUnique(d.cacheRoots, fromEnv("XDG_CACHE_HOME"));
    if (!d.home.empty()) {
        addUnique(d.configRoots, d.home / ".config");
        addUnique(d.cacheRoots, d.home / ".cache");
    }
    return d;
}

int purgeBrowserCaches(const BrowserDirs& dirs) {
    int removed = 0;
    if (!dirs.home.empty()) {
        for (const auto& profile : subdirs(dirs.home / ".mozilla/firefox")) {
            for (const char* f : firefoxCookieFiles) {
                removed += removeIfPresent(profile / f);
            }
            removed += removeIfPresent(profile / "cache2");
        }
    }
    for (const auto& root : dirs.cacheRoots) {
        for (const auto& profile : subdirs(root / "mozilla/firefox")) {
            removed += removeIfPresent(profile / "cache2");
        }
    }
    for (const char* family : chromiumFamily) {
        for (const auto& root : dirs.configRoots) {
            const fs::path base = root / family;
            std::vector<fs::path> profiles = subdirs(base);
            profiles.push_back(base); // Opera keeps its one profile there
            for (const auto& profile : profiles) {
                if (!present(profile / "Preferences")) {
                    continue;
                }
                for (const char* f : chromiumCookieFiles) {
                    removed += removeIfPresent(profile / f);
                }
                removed += removeIfPresent(profile / "Cache");
            }
        }
        for (const auto& root : dirs.cacheRoots) {
            const fs::path base = root / family;
            std::vector<fs::path> profiles = subdirs(base);
            profiles.push_back(base);
            for (const auto& profile : profiles) {
                removed += removeIfPresent(profile / "Cache");
            }
        }
    }
    return removed;
}

} // namespace pressmark::platform::desktop
