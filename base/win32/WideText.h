#pragma once

#include <string>
#include <string_view>

// Conversions at the border to the wide Win32 functions, for the backend
// and the front end alike: every text of the program is UTF-8.
namespace pressmark::win32 {

std::wstring widenUtf8(std::string_view text);
std::string narrowUtf8(std::wstring_view text);

} // namespace pressmark::win32
