#include "ErrorReport.h"

#include "base/AppError.h"
#include "base/Cp1251.h"

namespace pressmark {

std::string errorReportText(std::string_view utf8) {
    std::string text(utf8);
    // Every byte of a character beyond ASCII sorts after the period.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text.push_back('.');
    }
    return text;
}

std::string errorReportText1251(std::string_view cp1251) {
    return errorReportText(cp1251::toUtf8(cp1251));
}

std::string errorReportText(const std::exception& e) {
    // Our own errors carry 1251 text; anything else (the standard library's)
    // is plain ASCII or UTF-8.
    if (dynamic_cast<const AppError*>(&e)) {
        return errorReportText1251(e.what());
    }
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
