#pragma once

#include <optional>
#include <string>
#include <string_view>

// Scenario files and every text the core keeps are code page 1251 bytes.
// These conversions are the one place where those bytes meet Unicode.
namespace pressmark::cp1251 {

// The character a 1251 byte stands for; 0x98 has none and gives U+FFFD.
char32_t toUnicode(unsigned char byte);
// The 1251 byte for a character, or nullopt when the code page cannot hold it.
std::optional<unsigned char> fromUnicode(char32_t ch);

std::string toUtf8(std::string_view bytes);
// nullopt when the UTF-8 text is malformed or holds a character 1251 cannot
// hold; the first such character is stored in *offending when given.
std::optional<std::string> fromUtf8(std::string_view utf8, char32_t* offending = nullptr);
// For messages only: characters 1251 cannot hold become '?'.
std::string fromUtf8Lossy(std::string_view utf8);

// Decodes UTF-8 into code points; malformed sequences give U+FFFD.
std::u32string decodeUtf8(std::string_view utf8);
// The code point at utf8[i], advancing i past it; a malformed sequence gives
// U+FFFD and consumes one byte, as decodeUtf8 does.
char32_t nextUtf8(std::string_view utf8, std::size_t& i);
std::string encodeUtf8(std::u32string_view text);

// The one refusal of a character 1251 cannot hold, for the memo, the prompts
// and the name dialog alike (UTF-8, naming the character and its code).
std::string refusalUtf8(char32_t character);

} // namespace pressmark::cp1251

namespace pressmark {
// A literal of our own Russian texts, written in UTF-8 in the source, as
// 1251 bytes. Every such literal is representable.
inline std::string ru(std::string_view utf8) {
    return cp1251::fromUtf8Lossy(utf8);
}
} // namespace pressmark
