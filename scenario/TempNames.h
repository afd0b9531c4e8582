#pragma once

// The names of the store's temporary files, the same on every system:
// ".<file>.tmp-<process id>-<64 random bits in hex>". The process id alone is
// not enough: a later run in a container gets the same one.

#include <cstdint>
#include <string>
#include <string_view>

namespace pressmark::storefile {

// ".<file>.tmp-", the file's name cut to 200 bytes so that the whole name
// stays within the system's limit whatever the file's own length.
std::string tempPrefix(std::string_view fileName);
// 16 lower-case hex digits.
std::string hex64(std::uint64_t bits);
// "<digits>-<hex digits>" after the prefix: ours, and the "<pid>-<counter>"
// names of older versions.
bool isTempName(std::string_view name, std::string_view prefix);

} // namespace pressmark::storefile
