#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program's one text type is UTF-8; these read and write its code
// points (defined in Cp1251.cpp, which shares the decoder).
namespace pressmark::utf8 {

// Decodes UTF-8 into code points; malformed sequences give U+FFFD.
std::u32string decode(std::string_view text);
// The code point at text[i], advancing i past it; a malformed sequence gives
// U+FFFD and consumes one byte, as decode does.
char32_t next(std::string_view text, std::size_t& i);
std::string encode(std::u32string_view text);

} // namespace pressmark::utf8
