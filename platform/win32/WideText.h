#pragma once

#include <string>
#include <string_view>

// Conversions at the border to the wide Win32 functions: the core's texts
// are code page 1251 bytes, paths and executable names are UTF-8.
namespace pressmark::platform::win32 {

// Decoded by the system's own 1251 table, whatever the ANSI code page is.
std::wstring widenCp1251(std::string_view text);
std::wstring widenUtf8(std::string_view text);
std::string narrowUtf8(std::wstring_view text);

} // namespace pressmark::platform::win32
