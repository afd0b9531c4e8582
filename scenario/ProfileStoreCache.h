#pragma once

#include "ProfileStore.h"
#include "StoreFile.h"
#include "TextDecoding.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the sources of ProfileStore share: the parsed file, and the rules of
// the INI text that the parser, the reads and the writes all follow.
namespace pressmark {

namespace profilestore {

constexpr std::string_view kNewLine = "\r\n";

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

inline bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

inline std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

enum class Kind : std::uint8_t { Other, Header, Entry };

// Line offsets are 32-bit.
static_assert(ProfileStore::kFileLimit < std::uint32_t{0xFFFFFFFF});

struct Line {
    std::uint32_t start = 0;
    std::uint32_t len = 0; // without the line end
    std::uint32_t eq = 0;  // offset of '=' within the line, for entries
    std::uint8_t eol = 0;  // 0 (last line), 1 (CR or LF) or 2 (CR LF)
    Kind kind = Kind::Other;
};

struct Section {
    std::uint32_t header = 0; // line index
    std::uint32_t nameStart = 0;
    std::uint32_t nameLen = 0;   // 0: "[]", a section nobody can name
    std::uint32_t lastEntry = 0; // line index; the header when there is none
};

struct KeyRef {
    std::uint32_t section;
    std::string_view key; // lowered
    bool operator==(const KeyRef&) const = default;
};

struct KeyRefHash {
    std::size_t operator()(const KeyRef& k) const {
        return std::hash<std::string_view>{}(k.key) ^
               (static_cast<std::size_t>(k.section) * 0x9E3779B97F4A7C15ULL);
    }
};

// One change of the old bytes: at pos, drop `remove` bytes, put `insert`.
struct Edit {
    std::size_t pos;
    std::size_t remove;
    std::string insert;
};

} // namespace profilestore

using profilestore::Edit;
using profilestore::equalNoCase;
using profilestore::isBlank;
using profilestore::KeyRef;
using profilestore::KeyRefHash;
using profilestore::Kind;
using profilestore::kNewLine;
using profilestore::Line;
using profilestore::Section;
using profilestore::trimBlanks;
using textdecoding::decodeText;
using textdecoding::Encoding;

// The parsed file: its bytes, a table of its lines and sections, and (built
// on the first read after a change) hash indexes of the section names and of
// the keys of long sections. It is checked against the file before every
// read and write.
struct ProfileStore::Cache {
    storefile::ChangeWatch watch;
    bool loaded = false;
    storefile::Identity identity;
    bool readable = true;
    bool swept = false; // of the temporary files crashed writers left
    bool appendedUnsynced = false;
    std::uint64_t generation = 0; // grows whenever the text changes
    int snapshots = 0;            // while one lives, reads do not look again
    // The text as 1251 bytes; lines and sections point into it.
    std::string bytes;
    // For a file in Unicode: its bytes, and where each character of `bytes`
    // starts in them (one more entry for the end).
    Encoding encoding = Encoding::Cp1251;
    std::string raw;
    std::vector<std::uint32_t> rawAt;
    std::vector<Line> lines;
    std::vector<Section> sections;

    bool indexed = false;
    std::string lower;
    std::unordered_map<std::string_view, std::uint32_t> sectionByName;
    std::unordered_map<KeyRef, std::uint32_t, KeyRefHash> entryByKey;

    void refresh(const std::filesystem::path& path);
    // What a read does first: looks at the file, unless a snapshot holds it.
    void look(const std::filesystem::path& path) {
        if (snapshots == 0 || !loaded) {
            refresh(path);
        }
    }
    void reload(const std::filesystem::path& path);
    void commit(const std::filesystem::path& path, std::string newRaw,
                const storefile::Replaced& replaced, std::size_t firstChanged);
    void commitAppend(const std::filesystem::path& path, std::string_view text,
                      std::string_view rawText, const storefile::Identity& appended,
                      std::size_t firstChanged);
    void decodeFrom(std::size_t rawPos) { decodeText(encoding, raw, rawPos, bytes, rawAt); }
    std::string_view fileBytes() const { return encoding == Encoding::Cp1251 ? bytes : raw; }
    void sweepTemps(const std::filesystem::path& path) {
        if (!swept) {
            storefile::removeStaleTemps(path);
            swept = true;
        }
    }
    enum class Append : std::uint8_t { Done, NotSafe, FileChanged };
    Append appendSection(const std::filesystem::path& path, std::string_view block, bool openLine,
                         std::size_t firstChanged);
    std::string editedFile(std::vector<Edit>& edits) const;
    void parseFrom(std::size_t first);
    void classify(std::size_t index, Line& line);
    void buildIndex();
    void dropIndex();

    std::uint32_t sectionEnd(std::size_t s) const {
        return s + 1 < sections.size() ? sections[s + 1].header
                                       : static_cast<std::uint32_t>(lines.size());
    }
    std::string_view sectionName(std::string_view text, const Section& s) const {
        return text.substr(s.nameStart, s.nameLen);
    }
    std::string_view keyOf(std::string_view text, const Line& l) const {
        return trimBlanks(text.substr(l.start, l.eq));
    }
    std::string_view valueOf(const Line& l) const {
        return std::string_view(bytes).substr(l.start + l.eq + 1, l.len - l.eq - 1);
    }
    std::size_t lineEnd(const Line& l) const { return l.start + l.len + l.eol; }

    std::optional<std::uint32_t> findSection(std::string_view name) const;
    std::optional<std::uint32_t> findEntry(std::uint32_t section, std::string_view key) const;
};

} // namespace pressmark
