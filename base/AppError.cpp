#include "AppError.h"

#include "Utf8.h"

#include <initializer_list>

namespace pressmark {
namespace {

// Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict on
// chains of operator+ starting from a literal.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) {
        out.append(p);
    }
    return out;
}

// A path's bytes need not be UTF-8 (a name unpacked from a Windows archive
// keeps its 1251 bytes): each byte that is not becomes '?'.
std::string validUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t from = i;
        const char32_t ch = utf8::next(bytes, i);
        // A malformed sequence gives U+FFFD and consumes one byte.
        if (ch == 0xFFFD && i - from == 1) {
            out += '?';
        } else {
            out.append(bytes.substr(from, i - from));
        }
    }
    return out;
}

} // namespace

AppError invalidIntegerError(std::string_view text) {
    return AppError(joined({"'", text, "' is not a valid integer value"}));
}

AppError writeError(std::string_view fileName) {
    return AppError(joined({"Unable to write to ", validUtf8(fileName)}));
}

AppError proxyDataError(std::string_view valueName) {
    return AppError(joined({"Failed to set data for '", valueName, "'"}));
}

} // namespace pressmark
