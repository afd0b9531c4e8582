#pragma once

#include <filesystem>
#include <vector>

namespace pressmark::platform::desktop {

// Where the browsers of this user keep their profiles and caches.
struct BrowserDirs {
    std::filesystem::path home;
    std::vector<std::filesystem::path> configRoots; // $XDG_CONFIG_HOME, ~/.config
    std::vector<std::filesystem::path> cacheRoots;  // $XDG_CACHE_HOME, ~/.cache
};

BrowserDirs browserDirsFromEnvironment();

// Deletes the HTTP disk caches and cookie stores of the Firefox and
// Chromium-family profiles found in dirs, and nothing else (the list is in
// the README). Entries that cannot be deleted are skipped; symbolic links are
// removed, never followed. Returns how many files and folders went.
int purgeBrowserCaches(const BrowserDirs& dirs);

} // namespace pressmark::platform::desktop
