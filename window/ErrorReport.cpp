#include "ErrorReport.h"

namespace pressmark {

std::string errorReportText(std::string_view utf8) {
    std::string text(utf8);
    // Every byte of a character beyond ASCII sorts after the period.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text.push_back('.');
    }
    return text;
}

std::string errorReportText(const std::exception& e) {
    // Our own errors and the standard library's alike are ASCII or UTF-8.
    return errorReportText(std::string_view(e.what()));
}

bool runReported(const std::function<void()>& handler,
                 const std::function<void(const std::string&)>& report) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        report(errorReportText(e));
    }
    return false;
}

} // namespace pressmark
