// Feeds arbitrary bytes to the profile store as a scenario file. Every read
// is compared with a deliberately plain reading of the same bytes (decode the
// whole file when it starts with a byte-order mark, split into lines, then
// look at each line), and one write must change nothing but its own line or
// insertion while every other value reads as before.

#include "base/Cp1251.h"
#include "scenario/ProfileStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using pressmark::ProfileStore;

struct PlainSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries; // key, raw value
};

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(std::string s) {
    while (!s.empty() && blank(s.back())) {
        s.pop_back();
    }
    std::size_t i = 0;
    while (i < s.size() && blank(s[i])) {
        ++i;
    }
    return s.substr(i);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

char to1251(char32_t c) {
    if (c == 0x98) {
        return '\x98';
    }
    const auto b = pressmark::cp1251::fromUnicode(c);
    return b ? static_cast<char>(*b) : '?';
}

// The file's text as code page 1251, whatever its encoding; its mark, if any.
std::string plainDecode(const std::string& bytes, std::string* mark = nullptr) {
    std::string out;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        for (const char32_t c : pressmark::utf8::decode(std::string_view(bytes).substr(3))) {
            out += to1251(c);
        }
        if (mark) {
            *mark = bytes.substr(0, 3);
        }
        return out;
    }
    const bool le = bytes.rfind("\xFF\xFE", 0) == 0;
    if (!le && bytes.rfind("\xFE\xFF", 0) != 0) {
        return bytes;
    }
    if (mark) {
        *mark = bytes.substr(0, 2);
    }
    std::vector<char32_t> units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(le ? (b << 8 | a) : (a << 8 | b));
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            ++i;
            out += '?';
        } else {
            out += (u >= 0xD800 && u <= 0xDFFF) ? '?' : to1251(u);
        }
    }
    return out;
}

std::vector<PlainSection> plainParse(const std::string& file) {
    const std::string bytes = plainDecode(file);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    std::vector<PlainSection> sections;
    for (const std::string& raw : lines) {
        const std::string t = trim(raw);
        if (t.empty() || t[0] == ';') {
            continue;
        }
        const std::size_t close = t[0] == '[' ? t.rfind(']') : std::string::npos;
        if (close != std::string::npos && close > 0) {
            sections.push_back({trim(t.substr(1, close - 1)), {}});
            continue;
        }
        const std::size_t eq = t.find('=');
        if (eq != std::string::npos && !sections.empty()) {
            sections.back().entries.emplace_back(trim(t.substr(0, eq)), t.substr(eq + 1));
        }
    }
    return sections;
}

std::string plainRead(const std::vector<PlainSection>& sections, const std::string& section,
                      const std::string& key, const std::string& def) {
    for (const PlainSection& s : sections) {
        if (s.name.empty() || !sameName(s.name, section)) {
            continue;
        }
        for (const auto& [k, v] : s.entries) {
            if (sameName(k, key)) {
                std::string value = trim(v.substr(0, v.find('\0')));
                if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                    value.back() == value[0]) {
                    value = value.substr(1, value.size() - 2);
                }
                return value.substr(0, 2047);
            }
        }
        break;
    }
    std::string d = def;
    while (!d.empty() && blank(d.back())) {
        d.pop_back();
    }
    return d;
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "profile store fuzz: %s\n", what);
        std::abort();
    }
}

const fs::path& folder() {
    static const fs::path dir = [] {
        // In memory where possible: a rename on a disk file system can start
        // writeback, which would make each run cost milliseconds.
        std::string tmpl = fs::is_directory("/dev/shm") ? "/dev/shm/pressmark-fuzz-XXXXXX"
                                                        : "/tmp/pressmark-fuzz-XXXXXX";
        const char* made = ::mkdtemp(tmpl.data());
        check(made != nullptr, "cannot create a temporary folder");
        return fs::path(made);
    }();
    static const int cleanup = std::atexit([] {
        std::error_code ec;
        fs::remove_all(folder(), ec);
    });
    (void)cleanup;
    return dir;
}

constexpr std::size_t kMaxPairs = 1000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const fs::path file = folder() / "scenario.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<PlainSection> plain = plainParse(bytes);
    const std::string def = "\x01<default> \t";
    // "[]" opens a section that nobody can name.
    std::erase_if(plain, [](const PlainSection& s) { return s.name.empty(); });

    ProfileStore store(file);
    const std::vector<std::string> names = store.sections();
    check(names.size() == plain.size(), "section count differs");
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t s = 0; s < plain.size(); ++s) {
        check(names[s] == plain[s].name, "section name differs");
        for (const auto& entry : plain[s].entries) {
            if (pairs.size() < kMaxPairs) {
                pairs.emplace_back(plain[s].name, entry.first);
            }
        }
    }
    std::vector<std::string> before;
    for (const auto& [section, key] : pairs) {
        before.push_back(store.readString(section, key, def));
        check(before.back() == plainRead(plain, section, key, def), "value differs");
        (void)store.readInteger(section, key, 0);
    }

    // The write: an existing section and key when the input has them,
    // otherwise new ones; the value is taken from the input's tail.
    std::uint32_t h = 2166136261U;
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 16777619U;
    }
    std::string section = "fz";
    std::string key = "k";
    if (!pairs.empty() && (h & 3) != 0) {
        const auto& p = pairs[(h >> 2) % pairs.size()];
        section = p.first;
        key = (h & 1) ? p.second : std::string("k");
    } else if (!plain.empty() && (h & 4) != 0) {
        section = plain[(h >> 3) % plain.size()].name;
    }
    std::string value;
    for (std::size_t i = bytes.size(); i > 0 && value.size() < 40; --i) {
        const char c = bytes[i - 1];
        if (c != '\r' && c != '\n' && c != '\0') {
            value += c;
        }
    }
    try {
        store.writeString(section, key, value);
    } catch (const std::invalid_argument&) {
        // A name holding NUL cannot be written; nor, from hand-edited files,
        // a section name holding "]" or a key of a line that starts with "["
        // (a value holding "]" would turn it into a header). Nothing else
        // may fail here.
        check(section.find('\0') != std::string::npos || key.find('\0') != std::string::npos ||
                  section.find(']') != std::string::npos || trim(key).rfind('[', 0) == 0,
              "valid names refused");
        return 0;
    }

    const std::string afterFile = slurp(file);
    std::string markBefore;
    std::string markAfter;
    const std::string before1251 = plainDecode(bytes, &markBefore);
    const std::string after = plainDecode(afterFile, &markAfter);
    check(markAfter == markBefore, "the byte-order mark changed");
    {
        const std::string& bytes = before1251;
        std::size_t prefix = 0;
        while (prefix < bytes.size() && prefix < after.size() && bytes[prefix] == after[prefix]) {
            ++prefix;
        }
        std::size_t suffix = 0;
        while (suffix < bytes.size() - prefix && suffix < after.size() - prefix &&
               bytes[bytes.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
            ++suffix;
        }
        const std::string_view removed =
            std::string_view(bytes).substr(prefix, bytes.size() - prefix - suffix);
        check(removed.find_first_of("\r\n") == std::string_view::npos,
              "the write changed more than one line");
    }

    ProfileStore fresh(file);
    check(fresh.readString(section, key, def) == value, "written value does not read back");
    check(plainRead(plainParse(afterFile), section, key, def) == value,
          "written value does not read back plainly");
    check(store.readString(section, key, def) == value, "writer does not see its own write");
    std::vector<std::string> namesAfter = fresh.sections();
    if (namesAfter.size() == names.size() + 1) {
        check(sameName(namesAfter.back(), trim(section)), "wrong section appended");
        namesAfter.pop_back();
    }
    check(namesAfter == names, "sections changed");
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const auto& [s, k] = pairs[i];
        if (sameName(s, trim(section)) && sameName(k, trim(key))) {
            continue;
        }
        check(fresh.readString(s, k, def) == before[i], "another value changed");
        check(store.readString(s, k, def) == before[i], "another value changed in the cache");
    }
    return 0;
}
