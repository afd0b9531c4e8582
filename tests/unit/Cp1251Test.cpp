#include "base/Cp1251.h"

#include <gtest/gtest.h>

#include <string>

namespace pressmark {
namespace {

TEST(Cp1251, EveryByteButOneRoundTripsThroughUtf8) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto back = cp1251::fromUtf8(cp1251::toUtf8(byte));
        if (b == 0x98) {
            EXPECT_EQ(cp1251::toUnicode(0x98), U'\uFFFD');
            EXPECT_FALSE(back.has_value());
        } else {
            ASSERT_TRUE(back.has_value()) << b;
            EXPECT_EQ(*back, byte) << b;
            EXPECT_EQ(cp1251::fromUnicode(cp1251::toUnicode(static_cast<unsigned char>(b))),
                      static_cast<unsigned char>(b));
        }
    }
}

TEST(Cp1251, KnownLetters) {
    const std::pair<unsigned char, char32_t> known[] = {
        {0x41, U'A'},      {0x80, U'\u0402'}, {0x88, U'\u20AC'}, {0x96, U'\u2013'},
        {0xA8, U'\u0401'}, {0xB8, U'\u0451'}, {0xB9, U'\u2116'}, {0xC0, U'\u0410'},
        {0xDF, U'\u042F'}, {0xE0, U'\u0430'}, {0xFF, U'\u044F'}, {0xA5, U'\u0490'},
    };
    for (const auto& [byte, ch] : known) {
        EXPECT_EQ(cp1251::toUnicode(byte), ch) << int(byte);
    }
    EXPECT_EQ(cp1251::fromUtf8("Привет, мир! №5 €"),
              std::string("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0! \xB9\x35 \x88"));
    EXPECT_EQ(cp1251::toUtf8("\xC5\xF1\xF2\xFC \xB8\xA8"), "Есть ёЁ");
}

TEST(Cp1251, ReportsTheFirstCharacterItCannotHold) {
    char32_t offending = 0;
    EXPECT_FALSE(cp1251::fromUtf8("ok ✓ 中", &offending).has_value());
    EXPECT_EQ(offending, U'\u2713');
    EXPECT_FALSE(cp1251::fromUtf8("\xEF\xBF\xBD", &offending).has_value());
    EXPECT_EQ(offending, U'\uFFFD');
    EXPECT_EQ(cp1251::fromUtf8Lossy("a✓б"), "a?\xE1");
}

TEST(Cp1251, MalformedUtf8IsNeverPassedThrough) {
    const std::string malformed[] = {"\x80",         "\xC3",         "\xC0\x80",
                                     "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                     "\xFF",         "\xE2\x82"};
    for (const std::string& m : malformed) {
        char32_t offending = 0;
        EXPECT_FALSE(cp1251::fromUtf8("a" + m, &offending).has_value());
        EXPECT_EQ(offending, U'\uFFFD');
        EXPECT_EQ(utf8::decode(m).front(), U'\uFFFD');
    }
    EXPECT_EQ(utf8::decode("\xC3z"), U"\uFFFDz") << "a cut sequence keeps what follows";
}

TEST(Cp1251, Utf8CodecRoundTripsAllPlanes) {
    const std::u32string text = U"a\u00E9\u0416\u20AC\U0001F600\U0010FFFF";
    const std::string utf8 = utf8::encode(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(utf8::decode(utf8), text);
}

} // namespace
} // namespace pressmark
