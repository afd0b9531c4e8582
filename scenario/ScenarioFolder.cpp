#include "ScenarioFolder.h"

#include <atomic>
#include <fstream>
#include <string>
#include <system_error>

namespace pressmark {
namespace {

namespace fs = std::filesystem;

// An installed program's folder usually exists but is not ours to write:
// only a file actually created and removed there proves it is usable.
bool writableFolder(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        return false;
    }
    static std::atomic<unsigned> counter{0};
    const fs::path probe = dir / (".pressmark-probe-" + std::to_string(counter.fetch_add(1)));
    bool ok = false;
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        ok = static_cast<bool>(out);
    }
    fs::remove(probe, ec);
    return ok && !ec;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::filesystem::path chooseScenarioFolder(const ScenarioFolderInputs& in) {
    std::error_code ec;
    for (const auto* chosen : {&in.commandLine, &in.environment}) {
        if (*chosen && !(*chosen)->empty()) {
            fs::create_directories(**chosen, ec);
            return **chosen;
        }
    }
    const fs::path beside = in.appDir / "TH_Scenaries";
    if (writableFolder(beside)) {
        return beside;
    }
    // A relative XDG_DATA_HOME is invalid and is ignored.
    fs::path data;
    if (in.xdgDataHome && in.xdgDataHome->is_absolute()) {
        data = *in.xdgDataHome;
    } else if (in.home && !in.home->empty()) {
        data = *in.home / ".local" / "share";
    } else {
        return beside;
    }
    const fs::path folder = data / "pressmark" / "TH_Scenaries";
    fs::create_directories(folder, ec);
    return folder;
}

std::filesystem::path scenarioFile(const std::filesystem::path& folder, std::string_view nameUtf8) {
    return folder / pathFromUtf8(std::string(nameUtf8) + ".ini");
}

std::string scenarioName(const std::filesystem::path& file) {
    return pathToUtf8(file.stem());
}

bool isValidScenarioName(std::string_view nameUtf8) {
    if (nameUtf8.size() > 200) {
        return false;
    }
    std::string_view name = nameUtf8;
    while (!name.empty() && isBlank(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && isBlank(name.back())) {
        name.remove_suffix(1);
    }
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : nameUtf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string pathToUtf8(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(reinterpret_cast<const char*>(u.data()), u.size());
}

} // namespace pressmark
