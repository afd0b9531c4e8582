#include "TextDecoding.h"

#include "base/Cp1251.h"
#include "base/Utf8.h"

namespace pressmark::textdecoding {
namespace {

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

} // namespace

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

std::size_t unitSize(Encoding e) {
    return (e == Encoding::Utf16Le || e == Encoding::Utf16Be) ? 2 : 1;
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

void decodeText(Encoding e, std::string_view raw, std::size_t rawPos, std::string& bytes,
                std::vector<std::uint32_t>& rawAt) {
    if (!rawAt.empty()) {
        rawAt.pop_back();
    }
    std::size_t end = raw.size();
    if (e != Encoding::Utf8) {
        end -= (end - rawPos) % 2;
    }
    bytes.reserve(bytes.size() + end - rawPos);
    rawAt.reserve(bytes.capacity() + 1);
    const std::string_view whole = raw.substr(0, end);
    std::size_t i = rawPos;
    while (i < end) {
        rawAt.push_back(static_cast<std::uint32_t>(i));
        bytes += byteOf(nextChar(e, whole, i));
    }
    rawAt.push_back(static_cast<std::uint32_t>(i));
}

} // namespace pressmark::textdecoding
