#include "IntConv.h"

#include "AppError.h"

namespace pressmark {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<std::int32_t> parseInt32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    if (hex) {
        for (; i < text.size(); ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFULL) {
                return std::nullopt;
            }
        }
        // A 32-bit pattern: $FFFFFFFF is -1, and a sign negates the pattern.
        auto bits = static_cast<std::uint32_t>(value);
        if (negative) {
            bits = 0U - bits;
        }
        return static_cast<std::int32_t>(bits);
    }
    constexpr std::uint64_t kMagnitudeLimit = 2147483648ULL;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > kMagnitudeLimit) {
            return std::nullopt;
        }
    }
    if (!negative && value == kMagnitudeLimit) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                              : static_cast<std::int64_t>(value));
}

std::int32_t strToInt(std::string_view text) {
    if (const auto value = parseInt32(text)) {
        return *value;
    }
    throw invalidIntegerError(text);
}

} // namespace pressmark
