#include "Cp1251.h"

#include <array>
#include <cstdint>

namespace pressmark::cp1251 {
namespace {

constexpr char32_t kNone = 0xFFFD;

// 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char32_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    kNone,  0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input,
// overlong forms and surrogates give kNone and consume one byte.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kNone;
    }
    if (i + len > text.size()) {
        ++i;
        return kNone;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kNone;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kNone;
    }
    i += len;
    return cp;
}

} // namespace

char32_t toUnicode(unsigned char byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte >= 0xC0) {
        return 0x0410 + (byte - 0xC0);
    }
    return kHigh[byte - 0x80];
}

std::optional<unsigned char> fromUnicode(char32_t ch) {
    if (ch < 0x80) {
        return static_cast<unsigned char>(ch);
    }
    if (ch >= 0x0410 && ch <= 0x044F) {
        return static_cast<unsigned char>(0xC0 + (ch - 0x0410));
    }
    if (ch == kNone) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < kHigh.size(); ++k) {
        if (kHigh[k] == ch) {
            return static_cast<unsigned char>(0x80 + k);
        }
    }
    return std::nullopt;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<std::string> fromUtf8(std::string_view utf8, char32_t* offending) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        const auto byte = fromUnicode(cp);
        if (!byte) {
            if (offending) {
                *offending = cp;
            }
            return std::nullopt;
        }
        out += static_cast<char>(*byte);
    }
    return out;
}

std::string fromUtf8Lossy(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = fromUnicode(nextCodePoint(utf8, i));
        out += byte ? static_cast<char>(*byte) : '?';
    }
    return out;
}

bool holds(std::string_view utf8, char32_t* offending) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        if (!fromUnicode(cp)) {
            if (offending) {
                *offending = cp;
            }
            return false;
        }
    }
    return true;
}

std::string refusalUtf8(char32_t character) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (auto v = static_cast<std::uint32_t>(character); v != 0 || hex.size() < 4; v >>= 4) {
        hex.insert(hex.begin(), digits[v & 0xF]);
    }
    std::string text("Символ \"");
    text.append(utf8::encode({&character, 1}))
        .append("\" (U+")
        .append(hex)
        .append(") нельзя сохранить: в кодировке 1251 его нет");
    return text;
}

} // namespace pressmark::cp1251

namespace pressmark::utf8 {

std::u32string decode(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        out += cp1251::nextCodePoint(utf8, i);
    }
    return out;
}

char32_t next(std::string_view utf8, std::size_t& i) {
    return cp1251::nextCodePoint(utf8, i);
}

std::string encode(std::u32string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char32_t c : text) {
        cp1251::appendUtf8(out, c);
    }
    return out;
}

} // namespace pressmark::utf8
