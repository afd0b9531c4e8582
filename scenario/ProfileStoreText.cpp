#include "ProfileStoreCache.h"

// The INI text: its lines and sections, found anew from the first line a
// change touched, and the indexes that find a name in a long file.
namespace pressmark {

using profilestore::lowered;

namespace {

// A step has a handful of lines: scanning them is faster than hashing. Only
// longer sections get their keys indexed.
constexpr std::uint32_t kScannedLines = 24;

} // namespace

void ProfileStore::Cache::parseFrom(std::size_t first) {
    std::size_t pos = 0;
    if (first < lines.size()) {
        pos = lines[first].start;
    } else {
        first = lines.size();
        pos = lines.empty() ? 0 : lineEnd(lines.back());
    }
    lines.resize(first);
    while (!sections.empty() && sections.back().header >= first) {
        sections.pop_back();
    }
    if (!sections.empty() && sections.back().lastEntry >= first) {
        Section& s = sections.back();
        s.lastEntry = s.header;
        for (std::size_t i = first; i-- > s.header + 1;) {
            if (lines[i].kind == Kind::Entry) {
                s.lastEntry = static_cast<std::uint32_t>(i);
                break;
            }
        }
    }
    const char* d = bytes.data();
    const std::size_t n = bytes.size();
    while (pos < n) {
        std::size_t end = pos;
        while (end < n && d[end] != '\r' && d[end] != '\n') {
            ++end;
        }
        Line line;
        line.start = static_cast<std::uint32_t>(pos);
        line.len = static_cast<std::uint32_t>(end - pos);
        if (end < n) {
            line.eol = (d[end] == '\r' && end + 1 < n && d[end + 1] == '\n') ? 2 : 1;
        }
        classify(lines.size(), line);
        lines.push_back(line);
        pos = end + line.eol;
    }
}

void ProfileStore::Cache::classify(std::size_t index, Line& line) {
    const std::string_view text = std::string_view(bytes).substr(line.start, line.len);
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i == text.size() || text[i] == ';') {
        return;
    }
    const auto at = static_cast<std::uint32_t>(index);
    // The name runs to the last "]" of the line; a line without one opens no
    // section and is read like any other line of the section above.
    const std::size_t close = text[i] == '[' ? text.rfind(']') : std::string_view::npos;
    if (close != std::string_view::npos && close > i) {
        const std::string_view name = trimBlanks(text.substr(i + 1, close - i - 1));
        Section s;
        s.header = at;
        s.nameStart = line.start + static_cast<std::uint32_t>(name.data() - text.data());
        s.nameLen = static_cast<std::uint32_t>(name.size());
        s.lastEntry = at;
        sections.push_back(s);
        line.kind = Kind::Header;
        return;
    }
    const std::size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) {
        return;
    }
    line.kind = Kind::Entry;
    line.eq = static_cast<std::uint32_t>(eq);
    if (!sections.empty()) {
        sections.back().lastEntry = at;
    }
}

void ProfileStore::Cache::dropIndex() {
    if (indexed) {
        sectionByName.clear();
        entryByKey.clear();
        indexed = false;
    }
}

void ProfileStore::Cache::buildIndex() {
    lower = lowered(bytes);
    const std::string_view text = lower;
    sectionByName.reserve(sections.size());
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const auto id = static_cast<std::uint32_t>(s);
        // A name that occurs again later: the first section is the one read.
        if (sections[s].nameLen == 0 ||
            !sectionByName.emplace(sectionName(text, sections[s]), id).second) {
            continue;
        }
        const std::uint32_t end = sectionEnd(s);
        if (end - sections[s].header <= kScannedLines) {
            continue;
        }
        for (std::uint32_t i = sections[s].header + 1; i < end; ++i) {
            if (lines[i].kind == Kind::Entry) {
                entryByKey.emplace(KeyRef{id, keyOf(text, lines[i])}, i);
            }
        }
    }
    indexed = true;
}

std::optional<std::uint32_t> ProfileStore::Cache::findSection(std::string_view name) const {
    if (name.empty()) {
        return std::nullopt;
    }
    if (indexed) {
        const auto it = sectionByName.find(lowered(name));
        if (it == sectionByName.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    for (std::size_t s = 0; s < sections.size(); ++s) {
        if (equalNoCase(sectionName(bytes, sections[s]), name)) {
            return static_cast<std::uint32_t>(s);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ProfileStore::Cache::findEntry(std::uint32_t section,
                                                            std::string_view key) const {
    const std::uint32_t end = sectionEnd(section);
    if (indexed && end - sections[section].header > kScannedLines) {
        const std::string k = lowered(key);
        const auto it = entryByKey.find(KeyRef{section, k});
        if (it == entryByKey.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    for (std::uint32_t i = sections[section].header + 1; i < end; ++i) {
        if (lines[i].kind == Kind::Entry && equalNoCase(keyOf(bytes, lines[i]), key)) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace pressmark
