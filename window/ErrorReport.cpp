#include "ErrorReport.h"

#include "base/AppError.h"
#include "base/Cp1251.h"

namespace pressmark {

QString errorReportText(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.') {
        return text + u'.';
    }
    return text;
}

QString errorReportText1251(std::string_view cp1251) {
    return errorReportText(QString::fromStdString(cp1251::toUtf8(cp1251)));
}

QString errorReportText(const std::exception& e) {
    // Our own errors carry 1251 text; anything else (the standard library's)
    // is plain ASCII or UTF-8.
    if (dynamic_cast<const AppError*>(&e)) {
        return errorReportText1251(e.what());
    }
    return errorReportText(QString::fromUtf8(e.what()));
}

bool runReported(const std::function<void()>& handler,
                 const std::function<void(const QString&)>& report) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        report(errorReportText(e));
    }
    return false;
}

} // namespace pressmark
