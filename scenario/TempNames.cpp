#include "TempNames.h"

namespace pressmark::storefile {

std::string tempPrefix(std::string_view fileName) {
    std::string prefix = ".";
    prefix += fileName.substr(0, 200);
    prefix += ".tmp-";
    return prefix;
}

std::string hex64(std::uint64_t bits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[bits & 15];
        bits >>= 4;
    }
    return out;
}

bool isTempName(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) {
        return false;
    }
    name.remove_prefix(prefix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size()) {
        return false;
    }
    const auto all = [](std::string_view s, std::string_view set) {
        return s.find_first_not_of(set) == std::string_view::npos;
    };
    return all(name.substr(0, dash), "0123456789") &&
           all(name.substr(dash + 1), "0123456789abcdef");
}

} // namespace pressmark::storefile
