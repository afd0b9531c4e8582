#include "base/AppError.h"
#include "base/IntConv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace pressmark {
namespace {

struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
};

class ParseInt32 : public ::testing::TestWithParam<Case> {};

TEST_P(ParseInt32, AcceptsExactlyTheIntegerForms) {
    EXPECT_EQ(parseInt32(GetParam().text), GetParam().expected) << "[" << GetParam().text << "]";
}

constexpr std::nullopt_t kFails = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Decimal, ParseInt32,
    ::testing::Values(Case{"0", 0}, Case{"-0", 0}, Case{"007", 7}, Case{"12", 12}, Case{" 12", 12},
                      Case{"   -12", -12}, Case{"+5", 5}, Case{"-5", -5},
                      Case{"2147483647", INT32_MAX}, Case{"-2147483648", INT32_MIN},
                      Case{"+2147483647", INT32_MAX}, Case{"2147483648", kFails},
                      Case{"-2147483649", kFails}, Case{"99999999999999999999", kFails},
                      Case{"00000000000000000001", 1}, Case{"12 ", kFails}, Case{"\t12", kFails},
                      Case{"- 12", kFails}, Case{"+-1", kFails}, Case{"++1", kFails},
                      Case{"1 2", kFails}, Case{"12abc", kFails}, Case{"1.0", kFails},
                      Case{"", kFails}, Case{" ", kFails}, Case{"+", kFails}, Case{"-", kFails},
                      Case{"\xD0\x31", kFails}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ParseInt32,
    ::testing::Values(Case{"$1F", 31}, Case{"$1f", 31}, Case{"x1F", 31}, Case{"X1F", 31},
                      Case{"0x1F", 31}, Case{"0X1F", 31}, Case{" $a", 10}, Case{"-$10", -16},
                      Case{"+$10", 16}, Case{"-0x10", -16}, Case{"$7FFFFFFF", INT32_MAX},
                      Case{"$80000000", INT32_MIN}, Case{"$FFFFFFFF", -1}, Case{"-$FFFFFFFF", 1},
                      Case{"-$80000000", INT32_MIN}, Case{"$100000000", kFails},
                      Case{"0x123456789", kFails}, Case{"$", kFails}, Case{"x", kFails},
                      Case{"0x", kFails}, Case{"0X", kFails}, Case{"$G", kFails},
                      Case{"$1 ", kFails}, Case{"$-1", kFails}, Case{"0x$1", kFails},
                      Case{"$$1", kFails}, Case{"00x1", kFails}, Case{"1x1", kFails}));

TEST(StrToInt, ReturnsTheValueOrRaisesTheInvalidIntegerError) {
    EXPECT_EQ(strToInt("$FF"), 255);
    EXPECT_EQ(strToInt(" -40"), -40);
    try {
        strToInt("12 \xEF");
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(std::string(e.what()), "'12 \xEF' is not a valid integer value");
    }
    EXPECT_THROW(strToInt(""), AppError);
}

} // namespace
} // namespace pressmark
