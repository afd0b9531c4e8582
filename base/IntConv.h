#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pressmark {

// The program's one integer conversion, used for stored values and for the
// user's answers alike: leading spaces (not tabs), an optional sign, then
// decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X".
// The whole text must be consumed and the value must fit in 32 bits; up to
// eight hexadecimal digits are taken as a 32-bit pattern ("$FFFFFFFF" is -1).
std::optional<std::int32_t> parseInt32(std::string_view text);

// parseInt32, or the AppError "'%s' is not a valid integer value".
std::int32_t strToInt(std::string_view text);

} // namespace pressmark
