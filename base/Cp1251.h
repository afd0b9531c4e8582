#pragma once

#include "Utf8.h"

#include <optional>
#include <string>
#include <string_view>

// The program's texts are UTF-8; scenario files keep theirs as code page
// 1251 bytes. These conversions are the one place where those bytes meet
// Unicode: the scenario format converts with them, and the places where a
// user types a text that will be stored ask whether 1251 can hold it.
namespace pressmark::cp1251 {

// The character a 1251 byte stands for; 0x98 has none and gives U+FFFD.
char32_t toUnicode(unsigned char byte);
// The 1251 byte for a character, or nullopt when the code page cannot hold it.
std::optional<unsigned char> fromUnicode(char32_t ch);

std::string toUtf8(std::string_view bytes);
// nullopt when the UTF-8 text is malformed or holds a character 1251 cannot
// hold; the first such character is stored in *offending when given.
std::optional<std::string> fromUtf8(std::string_view utf8, char32_t* offending = nullptr);
// Characters 1251 cannot hold become '?'.
std::string fromUtf8Lossy(std::string_view utf8);
// Whether 1251 holds every character of a UTF-8 text (a malformed one it
// does not); the first it cannot hold is stored in *offending when given.
bool holds(std::string_view utf8, char32_t* offending = nullptr);

// The one refusal of a character 1251 cannot hold, for the memo, the prompts
// and the name dialog alike (UTF-8, naming the character and its code).
std::string refusalUtf8(char32_t character);

} // namespace pressmark::cp1251
