#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace pressmark {

// The text of the application's generic error report (UTF-8): the error's
// text, followed by a period when its last character sorts after the period.
std::string errorReportText(std::string_view utf8);
// The report's text for any exception a handler let escape.
std::string errorReportText(const std::exception& e);
// Runs one handler; an error it raises ends it and goes to report. Returns
// whether the handler ended normally.
bool runReported(const std::function<void()>& handler,
                 const std::function<void(const std::string&)>& report);

} // namespace pressmark
