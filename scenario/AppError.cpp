#include "AppError.h"

#include "Cp1251.h"

namespace pressmark {

AppError invalidIntegerError(std::string_view text) {
    return AppError("'" + std::string(text) + "' is not a valid integer value");
}

AppError writeError(std::string_view fileNameUtf8) {
    return AppError("Unable to write to " + cp1251::fromUtf8Lossy(fileNameUtf8));
}

AppError proxyDataError(std::string_view valueName) {
    return AppError("Failed to set data for '" + std::string(valueName) + "'");
}

} // namespace pressmark
