#include "AppError.h"

#include "Cp1251.h"

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

} // namespace

AppError invalidIntegerError(std::string_view text) {
    return AppError(joined({"'", text, "' is not a valid integer value"}));
}

AppError writeError(std::string_view fileNameUtf8) {
    return AppError(joined({"Unable to write to ", cp1251::fromUtf8Lossy(fileNameUtf8)}));
}

AppError proxyDataError(std::string_view valueName) {
    return AppError(joined({"Failed to set data for '", valueName, "'"}));
}

} // namespace pressmark
