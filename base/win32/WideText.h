#pragma once

#include <string>
#include <string_view>

// Conversions at the border to the wide Win32 functions, for the backend
// and the front end alike: the core's texts are code page 1251 bytes, the
// window's texts, paths and executable names UTF-8.
namespace pressmark::win32 {

// Decoded by the system's own 1251 table, whatever the ANSI code page is.
std::wstring widenCp1251(std::string_view text);
std::wstring widenUtf8(std::string_view text);
std::string narrowUtf8(std::wstring_view text);

} // namespace pressmark::win32
