#include "ScenarioFolder.h"

#include "base/Cp1251.h"
#include "StoreFile.h"

#include <algorithm>
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

// Strict UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

bool hasIniSuffix(std::string_view name) {
    if (name.size() <= 4) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] + 32) : tail[i];
        if (c != ".ini"[i]) {
            return false;
        }
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::filesystem::path chooseScenarioFolder(const ScenarioFolderInputs& in) {
    std::error_code ec;
    if (in.commandLine && !in.commandLine->empty()) {
        return *in.commandLine;
    }
    if (in.environment && !in.environment->empty()) {
        fs::create_directories(*in.environment, ec);
        return *in.environment;
    }
    const fs::path beside = in.appDir / "TH_Scenaries";
    if (in.policy == BesideProgram::WhenPresent ? fs::is_directory(beside, ec)
                                                : writableFolder(beside)) {
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

std::vector<ScenarioEntry> listScenarios(const std::filesystem::path& folder, std::error_code& ec) {
    std::vector<ScenarioEntry> out;
    ec.clear();
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored)) {
            continue;
        }
        std::string shown = displayFileName(it->path().filename());
        if (!hasIniSuffix(shown)) {
            continue;
        }
        std::string name = shown.substr(0, shown.size() - 4);
        out.push_back(ScenarioEntry{it->path(), std::move(shown), std::move(name)});
    }
    if (ec) {
        out.clear();
        return out;
    }
    // A decoded name that reads as another entry's is marked. Names read the
    // same only when one of them was decoded: UTF-8 is kept as it is.
    std::vector<std::size_t> marked;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (isUtf8(pathToUtf8(out[i].file.filename()))) {
            continue;
        }
        for (std::size_t j = 0; j < out.size(); ++j) {
            if (j != i && out[j].nameUtf8 == out[i].nameUtf8) {
                marked.push_back(i);
                break;
            }
        }
    }
    for (const std::size_t i : marked) {
        out[i].fileNameUtf8 += kCp1251Mark;
        out[i].nameUtf8 += kCp1251Mark;
    }
    return out;
}

std::filesystem::path findScenario(const std::vector<ScenarioEntry>& entries,
                                   std::string_view nameUtf8) {
    for (const ScenarioEntry& e : entries) {
        if (e.nameUtf8 == nameUtf8) {
            return e.file;
        }
    }
    for (const ScenarioEntry& e : entries) {
        if (e.fileNameUtf8 == nameUtf8) {
            return e.file;
        }
    }
    return {};
}

void removeScenarioFile(const std::filesystem::path& file, std::error_code& ec) {
    std::filesystem::remove(file, ec);
    if (!ec) {
        const fs::path dir = file.parent_path();
        storefile::syncFolder(dir.empty() ? fs::path(".") : dir);
    }
}

std::string displayFileName(const std::filesystem::path& fileName) {
    std::string bytes = pathToUtf8(fileName);
    return isUtf8(bytes) ? bytes : cp1251::toUtf8(bytes);
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

namespace {

// The key a character sorts by: lower case for upper case in the scripts
// scenario names are written in, and Ё beside Е as the Russian alphabet has
// it (keys are code points doubled, to make room for it).
char32_t sortKey(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x410 && c <= 0x42F)) {
        c += 0x20;
    } else if (c >= 0x400 && c <= 0x40F) {
        c += 0x50;
    }
    return c == 0x451 ? 0x435 * 2 + 1 : c * 2;
}

} // namespace

bool scenarioNameLess(std::string_view a, std::string_view b) {
    std::u32string x = utf8::decode(a);
    std::u32string y = utf8::decode(b);
    std::transform(x.begin(), x.end(), x.begin(), sortKey);
    std::transform(y.begin(), y.end(), y.begin(), sortKey);
    return x != y ? x < y : a < b;
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
