#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pressmark {

// An error that ends the handler in which it arises and is shown by the
// window's generic error report. The message is UTF-8, like every other
// text the core hands to the user interface.
class AppError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value".
AppError invalidIntegerError(std::string_view text);
// "Unable to write to %s"; fileName is a file system path.
AppError writeError(std::string_view fileName);
// "Failed to set data for '%s'"; valueName is ProxyServer or ProxyEnable.
AppError proxyDataError(std::string_view valueName);

} // namespace pressmark
