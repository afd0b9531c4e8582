#include "ProfileStoreCache.h"

#include "base/AppError.h"
#include "base/IntConv.h"
#include "ScenarioFolder.h"

#include <algorithm>
#include <stdexcept>

// The store's reads and writes, over the parsed file.
namespace pressmark {

namespace {

// Values come back through a 2048-byte buffer with its terminating NUL.
constexpr std::size_t kValueLimit = 2047;

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

// The reader trims blanks and removes one pair of enclosing quotes; a value
// that either would change is written inside one more pair, so that it reads
// back exactly as written.
std::string encodeValue(std::string_view v) {
    const bool wrap =
        !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                       (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front()));
    if (!wrap) {
        return std::string(v);
    }
    std::string out;
    out.reserve(v.size() + 2);
    out += '"';
    out += v;
    out += '"';
    return out;
}

// A line end, or a NUL that a reader in C would stop at, inside a name or a
// value would change the file's structure instead of writing it.
void checkText(std::string_view text, const char* what) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        throw std::invalid_argument(std::string(what) + " holds a line end or NUL");
    }
}

void checkSectionName(std::string_view name) {
    checkText(name, "section name");
    if (name.find(']') != std::string_view::npos) {
        throw std::invalid_argument("section name holds ']'");
    }
    // "[]" names no section a reader can ask for.
    if (trimBlanks(name).empty()) {
        throw std::invalid_argument("empty section name");
    }
}

void checkKey(std::string_view key) {
    checkText(key, "key");
    const std::string_view k = trimBlanks(key);
    if (k.find('=') != std::string_view::npos || (!k.empty() && (k[0] == '[' || k[0] == ';'))) {
        throw std::invalid_argument("key would not read back as a key");
    }
}

} // namespace

ProfileStore::ProfileStore(std::filesystem::path file) : m_path(std::move(file)) {}

ProfileStore::~ProfileStore() = default;

ProfileStore::Snapshot::Snapshot(const ProfileStore& store) : m_store(store) {
    if (!m_store.m_cache) {
        m_store.m_cache = std::make_unique<Cache>();
    }
    m_store.m_cache->refresh(m_store.m_path);
    ++m_store.m_cache->snapshots;
}

ProfileStore::Snapshot::~Snapshot() {
    --m_store.m_cache->snapshots;
}

ProfileStore::Version ProfileStore::version() const {
    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.look(m_path);
    // Something the store cannot read, except for its size, is no file here
    // (a folder in its place, no permission).
    const bool present = c.identity.exists && (c.readable || c.identity.size > kFileLimit);
    return Version{present, c.identity.size, c.generation};
}

std::string ProfileStore::readString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.look(m_path);
    if (!c.indexed) {
        c.buildIndex();
    }
    const auto s = c.findSection(trimBlanks(section));
    const auto line = s ? c.findEntry(*s, trimBlanks(key)) : std::nullopt;
    if (!line) {
        // The system's reader drops a default's trailing blanks too.
        while (!def.empty() && isBlank(def.back())) {
            def.remove_suffix(1);
        }
        return std::string(def);
    }
    std::string_view value = c.valueOf(c.lines[*line]);
    // A reader in C stops at a NUL.
    value = trimBlanks(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kValueLimit));
}

std::int32_t ProfileStore::readInteger(std::string_view section, std::string_view key,
                                       std::int32_t def) const {
    std::string text = readString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.replace(0, 2, "$");
    }
    return parseInt32(text).value_or(def);
}

bool ProfileStore::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileStore::readSections(std::vector<std::string>& names) const {
    names.clear();
    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.look(m_path);
    names.reserve(c.sections.size());
    for (const Section& s : c.sections) {
        if (s.nameLen != 0) {
            names.emplace_back(c.sectionName(c.bytes, s));
        }
    }
}

std::vector<std::string> ProfileStore::sections() const {
    std::vector<std::string> names;
    readSections(names);
    return names;
}

void ProfileStore::writeString(std::string_view section, std::string_view key,
                               std::string_view value) {
    writeStrings(section, {{key, value}});
}

void ProfileStore::writeInteger(std::string_view section, std::string_view key,
                                std::int32_t value) {
    writeString(section, key, std::to_string(value));
}

void ProfileStore::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void ProfileStore::writeStrings(std::string_view section, std::initializer_list<Entry> entries) {
    checkSectionName(section);
    // A key given twice: the last value wins, as with two writes.
    std::vector<Entry> pending;
    pending.reserve(entries.size());
    for (const Entry& e : entries) {
        checkKey(e.first);
        checkText(e.second, "value");
        const std::string_view key = trimBlanks(e.first);
        const auto same = std::find_if(pending.begin(), pending.end(),
                                       [&](const Entry& p) { return equalNoCase(p.first, key); });
        if (same != pending.end()) {
            same->second = e.second;
        } else {
            pending.emplace_back(key, e.second);
        }
    }
    if (pending.empty()) {
        return;
    }
    const std::string_view name = trimBlanks(section);

    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.refresh(m_path);
    if (!c.readable) {
        throw writeError(pathToUtf8(m_path));
    }
    c.sweepTemps(m_path);

    std::vector<Edit> edits;
    std::size_t firstChanged = 0;
    for (bool mayAppend = true;; mayAppend = false) {
        std::string added;
        const auto s = c.findSection(name);
        if (!s) {
            ((added += '[') += name) += ']';
            added += kNewLine;
            for (const Entry& p : pending) {
                ((added += p.first) += '=') += encodeValue(p.second);
                added += kNewLine;
            }
            const bool openLine =
                !c.bytes.empty() && c.bytes.back() != '\n' && c.bytes.back() != '\r';
            firstChanged = openLine ? c.lines.size() - 1 : c.lines.size();
            if (mayAppend) {
                const Cache::Append how = c.appendSection(m_path, added, openLine, firstChanged);
                if (how == Cache::Append::Done) {
                    return;
                }
                if (how == Cache::Append::FileChanged) {
                    // Changed since our last look: start again from what it holds.
                    c.reload(m_path);
                    if (!c.readable) {
                        throw writeError(pathToUtf8(m_path));
                    }
                    continue;
                }
            }
            if (openLine) {
                added.insert(0, kNewLine);
            }
            edits.push_back({c.bytes.size(), 0, std::move(added)});
            break;
        }
        firstChanged = c.lines.size();
        for (const Entry& p : pending) {
            if (const auto line = c.findEntry(*s, p.first)) {
                // The key keeps its spelling and spacing; only the value changes.
                const Line& l = c.lines[*line];
                edits.push_back({l.start + l.eq + 1, l.len - l.eq - 1, encodeValue(p.second)});
                firstChanged = std::min<std::size_t>(firstChanged, *line);
            } else {
                ((added += p.first) += '=') += encodeValue(p.second);
                added += kNewLine;
            }
        }
        if (!added.empty()) {
            const std::uint32_t after = c.sections[*s].lastEntry;
            const Line& l = c.lines[after];
            if (l.eol == 0) {
                added.insert(0, kNewLine);
                firstChanged = std::min<std::size_t>(firstChanged, after);
            } else {
                firstChanged = std::min<std::size_t>(firstChanged, after + 1);
            }
            edits.push_back({c.lineEnd(l), 0, std::move(added)});
        }
        break;
    }

    std::string out = c.editedFile(edits);
    const storefile::Replaced replaced = storefile::replaceFile(m_path, out);
    c.commit(m_path, std::move(out), replaced, firstChanged);
}

void ProfileStore::removeSections(const std::function<bool(std::string_view)>& remove) {
    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.refresh(m_path);
    std::vector<Edit> edits;
    std::size_t firstChanged = c.lines.size();
    for (std::size_t s = 0; s < c.sections.size(); ++s) {
        if (c.sections[s].nameLen == 0 || !remove(c.sectionName(c.bytes, c.sections[s]))) {
            continue;
        }
        const std::uint32_t header = c.sections[s].header;
        const std::uint32_t end = c.sectionEnd(s);
        const std::size_t from = c.lines[header].start;
        const std::size_t to = end < c.lines.size() ? c.lines[end].start : c.bytes.size();
        edits.push_back({from, to - from, {}});
        firstChanged = std::min<std::size_t>(firstChanged, header);
    }
    if (edits.empty()) {
        return;
    }
    if (!c.readable) {
        throw writeError(pathToUtf8(m_path));
    }
    c.sweepTemps(m_path);
    std::string out = c.editedFile(edits);
    const storefile::Replaced replaced = storefile::replaceFile(m_path, out);
    c.commit(m_path, std::move(out), replaced, firstChanged);
}

bool ProfileStore::flush() {
    if (!m_cache || !m_cache->appendedUnsynced) {
        return true;
    }
    m_cache->appendedUnsynced = false;
    return storefile::syncFile(m_path);
}

} // namespace pressmark
