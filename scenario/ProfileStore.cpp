#include "ProfileStore.h"

#include "base/AppError.h"
#include "base/Cp1251.h"
#include "base/IntConv.h"
#include "ScenarioFolder.h"
#include "StoreFile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace pressmark {
namespace {

// Values come back through a 2048-byte buffer with its terminating NUL.
constexpr std::size_t kValueLimit = 2047;
// Line offsets are 32-bit.
static_assert(ProfileStore::kFileLimit < std::uint32_t{0xFFFFFFFF});
constexpr std::string_view kNewLine = "\r\n";
// A step has a handful of lines: scanning them is faster than hashing. Only
// longer sections get their keys indexed.
constexpr std::uint32_t kScannedLines = 24;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
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

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

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

// A file that starts with a byte-order mark is text in that encoding; the
// store hands out and takes in code page 1251 all the same, and writes back
// in the file's own encoding, mark included.
enum class Encoding : std::uint8_t { Cp1251, Utf8, Utf16Le, Utf16Be };

Encoding encodingOf(std::string_view raw, std::size_t& markLen) {
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") {
        markLen = 3;
        return Encoding::Utf8;
    }
    if (raw.substr(0, 2) == "\xFF\xFE") {
        markLen = 2;
        return Encoding::Utf16Le;
    }
    if (raw.substr(0, 2) == "\xFE\xFF") {
        markLen = 2;
        return Encoding::Utf16Be;
    }
    markLen = 0;
    return Encoding::Cp1251;
}

// 1251 leaves 0x98 undefined; it stands for U+0098 here, so that every byte a
// caller writes into a Unicode file reads back as written.
constexpr char32_t kUndefined1251 = 0x98;

char32_t charOf(char byte) {
    const auto b = static_cast<unsigned char>(byte);
    return b == kUndefined1251 ? kUndefined1251 : cp1251::toUnicode(b);
}

// What a character the code page cannot hold becomes, as in the system's own
// conversion.
char byteOf(char32_t c) {
    if (c == kUndefined1251) {
        return static_cast<char>(kUndefined1251);
    }
    const auto b = cp1251::fromUnicode(c);
    return b ? static_cast<char>(*b) : '?';
}

// Every 1251 character is in the basic plane: one UTF-16 unit, at most three
// UTF-8 bytes.
void appendEncoded(Encoding e, char32_t c, std::string& out) {
    const auto put = [&out](unsigned v) { out += static_cast<char>(v); };
    switch (e) {
    case Encoding::Cp1251:
        put(static_cast<unsigned char>(byteOf(c)));
        break;
    case Encoding::Utf8:
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
        break;
    case Encoding::Utf16Le:
        put(c & 0xFF);
        put(c >> 8);
        break;
    case Encoding::Utf16Be:
        put(c >> 8);
        put(c & 0xFF);
        break;
    }
}

std::string encodeText(Encoding e, std::string_view text) {
    if (e == Encoding::Cp1251) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() * 2);
    for (const char b : text) {
        appendEncoded(e, charOf(b), out);
    }
    return out;
}

// The character at raw[i] of a Unicode file, advancing i; UTF-16 text holds
// whole units. What cannot be decoded (a lone surrogate, malformed UTF-8) is
// one character that the code page cannot hold, and keeps its bytes in the
// file.
char32_t nextChar(Encoding e, std::string_view raw, std::size_t& i) {
    if (e == Encoding::Utf8) {
        return utf8::next(raw, i);
    }
    constexpr char32_t kBad = 0xFFFD;
    const auto unit = [&](std::size_t at) -> char32_t {
        const auto b0 = static_cast<unsigned char>(raw[at]);
        const auto b1 = static_cast<unsigned char>(raw[at + 1]);
        return e == Encoding::Utf16Le ? (b1 << 8 | b0) : (b0 << 8 | b1);
    };
    const char32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i + 2 <= raw.size()) {
        const char32_t low = unit(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            i += 2;
            return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return (u >= 0xD800 && u <= 0xDFFF) ? kBad : u;
}

enum class Kind : std::uint8_t { Other, Header, Entry };

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

std::string applyEdits(std::string_view old, std::vector<Edit>& edits) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.pos < b.pos; });
    std::size_t extra = 0;
    for (const Edit& e : edits) {
        extra += e.insert.size();
    }
    std::string out;
    out.reserve(old.size() + extra);
    std::size_t at = 0;
    for (const Edit& e : edits) {
        out.append(old.substr(at, e.pos - at));
        out += e.insert;
        at = e.pos + e.remove;
    }
    out.append(old.substr(at));
    return out;
}

} // namespace

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
    void reload(const std::filesystem::path& path);
    void commit(const std::filesystem::path& path, std::string newRaw,
                const storefile::Replaced& replaced, std::size_t firstChanged);
    void commitAppend(const std::filesystem::path& path, std::string_view text,
                      std::string_view rawText, const storefile::Identity& appended,
                      std::size_t firstChanged);
    void decodeFrom(std::size_t rawPos);
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

void ProfileStore::Cache::refresh(const std::filesystem::path& path) {
    if (loaded) {
        if (watch.armed()) {
            if (watch.quiet()) {
                return;
            }
        } else if (storefile::identityOf(path) == identity) {
            return;
        }
    }
    reload(path);
}

void ProfileStore::Cache::reload(const std::filesystem::path& path) {
    // Armed before reading: a change made while we read is then seen next time.
    watch.arm(path);
    storefile::Contents c = storefile::readFile(path, static_cast<std::size_t>(kFileLimit));
    dropIndex();
    identity = c.identity;
    readable = c.readable;
    std::size_t markLen = 0;
    encoding = encodingOf(c.bytes, markLen);
    if (encoding == Encoding::Cp1251) {
        bytes = std::move(c.bytes);
        raw.clear();
        rawAt.clear();
    } else {
        raw = std::move(c.bytes);
        bytes.clear();
        rawAt.clear();
        decodeFrom(markLen);
    }
    lines.clear();
    sections.clear();
    parseFrom(0);
    loaded = true;
}

// Decodes raw from rawPos (a character boundary) to its end onto bytes.
// A last odd byte of a UTF-16 file is half a character: it is not read, and
// stays the file's last byte whatever is written, so that nothing written
// after it is read out of step.
void ProfileStore::Cache::decodeFrom(std::size_t rawPos) {
    if (!rawAt.empty()) {
        rawAt.pop_back();
    }
    std::size_t end = raw.size();
    if (encoding != Encoding::Utf8) {
        end -= (end - rawPos) % 2;
    }
    bytes.reserve(bytes.size() + end - rawPos);
    rawAt.reserve(bytes.capacity() + 1);
    std::size_t i = rawPos;
    while (i < end) {
        rawAt.push_back(static_cast<std::uint32_t>(i));
        bytes += byteOf(nextChar(encoding, std::string_view(raw).substr(0, end), i));
    }
    rawAt.push_back(static_cast<std::uint32_t>(i));
}

// The file's new bytes: the edits (made on the 1251 text) applied to the
// file's own bytes, in its own encoding.
std::string ProfileStore::Cache::editedFile(std::vector<Edit>& edits) const {
    if (encoding == Encoding::Cp1251) {
        return applyEdits(bytes, edits);
    }
    for (Edit& e : edits) {
        const std::size_t from = rawAt[e.pos];
        e.remove = rawAt[e.pos + e.remove] - from;
        e.pos = from;
        e.insert = encodeText(encoding, e.insert);
    }
    return applyEdits(raw, edits);
}

void ProfileStore::Cache::commit(const std::filesystem::path& path, std::string newRaw,
                                 const storefile::Replaced& replaced, std::size_t firstChanged) {
    dropIndex();
    if (encoding == Encoding::Cp1251) {
        bytes = std::move(newRaw);
    } else {
        raw = std::move(newRaw);
        std::size_t markLen = 0;
        encodingOf(raw, markLen);
        bytes.clear();
        rawAt.clear();
        decodeFrom(markLen);
    }
    identity = replaced.identity;
    readable = true;
    // The replacement is on the disk, with everything appended before it.
    appendedUnsynced = false;
    // Everything before the first changed line kept its offsets.
    parseFrom(firstChanged);
    watch.ownReplaceDone(path, replaced.tempName);
}

void ProfileStore::Cache::commitAppend(const std::filesystem::path& path, std::string_view text,
                                       std::string_view rawText,
                                       const storefile::Identity& appended,
                                       std::size_t firstChanged) {
    dropIndex();
    if (encoding == Encoding::Cp1251) {
        bytes += text;
    } else {
        // The appended bytes start with an ASCII character, which ends any
        // sequence the old last bytes began: the old text decodes as before.
        const std::size_t from = raw.size();
        raw += rawText;
        decodeFrom(from);
    }
    identity = appended;
    appendedUnsynced = true;
    parseFrom(firstChanged);
    watch.ownAppendDone(path, appended);
}

// A new section at the end is appended in place instead of rewriting the
// file, so that a recorded click costs the same at any file size. It is as
// safe as the replacement: the block goes in with one write that does not
// cross an append unit, so whenever the writer dies the file ends before the
// block or after it. When it would cross one, blank characters first fill
// the unit; a reader skips them, and a writer killed there leaves just them.
ProfileStore::Cache::Append ProfileStore::Cache::appendSection(const std::filesystem::path& path,
                                                               std::string_view block,
                                                               bool openLine,
                                                               std::size_t firstChanged) {
    const std::size_t unit = storefile::atomicAppendUnit(watch.armed());
    const std::size_t charSize =
        (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) ? 2 : 1;
    const std::size_t size = fileBytes().size();
    if (unit == 0 || !identity.exists || size != identity.size || size % charSize != 0) {
        return Append::NotSafe;
    }
    std::string text = openLine ? std::string(kNewLine) + std::string(block) : std::string(block);
    std::string rawText = encodeText(encoding, text);
    if (size % unit + rawText.size() > unit) {
        const std::string rawBlock = encodeText(encoding, block);
        if (rawBlock.size() > unit) {
            return Append::NotSafe;
        }
        const std::size_t padChars = (unit - size % unit) / charSize;
        // Never a LF right after a CR that ends the file: that would turn
        // its line end into another one.
        std::string pad;
        if (padChars == 1) {
            pad = openLine ? "\n" : " ";
        } else {
            pad.assign(padChars - 2, ' ');
            pad += kNewLine;
        }
        rawText = encodeText(encoding, pad) + rawBlock;
        text = pad + std::string(block);
    }
    const auto appended = storefile::appendFile(path, identity, rawText);
    if (!appended) {
        return Append::FileChanged;
    }
    commitAppend(path, text, rawText, *appended, firstChanged);
    return Append::Done;
}

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

ProfileStore::ProfileStore(std::filesystem::path file) : m_path(std::move(file)) {}

ProfileStore::~ProfileStore() = default;

std::string ProfileStore::readString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
    if (!m_cache) {
        m_cache = std::make_unique<Cache>();
    }
    Cache& c = *m_cache;
    c.refresh(m_path);
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
    c.refresh(m_path);
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
