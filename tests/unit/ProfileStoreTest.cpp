#include "base/AppError.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using namespace std::string_literals;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

constexpr const char* kDefault = "<default>";

// A text saved as an editor's "Unicode" saves it: byte-order mark, then UTF-16.
std::string utf16(std::u16string_view text, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t u : text) {
        const char lo = static_cast<char>(u & 0xFF);
        const char hi = static_cast<char>(u >> 8);
        out += littleEndian ? lo : hi;
        out += littleEndian ? hi : lo;
    }
    return out;
}

// ---------------------------------------------------------------- reads

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::string expected;
    std::string def = kDefault;
};

class ReadString : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadString, FollowsTheIniRules) {
    const ReadCase& c = GetParam();
    TempFolder dir;
    writeBytes(dir / "s.ini", c.file);
    ProfileStore store(dir / "s.ini");
    EXPECT_EQ(store.readString(c.section, c.key, c.def), c.expected);
}

const std::string k3000(3000, 'v');

INSTANTIATE_TEST_SUITE_P(
    Rules, ReadString,
    ::testing::Values(
        ReadCase{"MissingSection", "[a]\r\nx=1\r\n", "b", "x", kDefault},
        ReadCase{"MissingKey", "[a]\r\nx=1\r\n", "a", "y", kDefault},
        ReadCase{"EmptyFile", "", "a", "x", kDefault},
        ReadCase{"SectionCase", "[SeTt]\r\nsleep=300\r\n", "sett", "sleep", "300"},
        ReadCase{"KeyCase", "[s]\r\nX=5\r\n", "s", "x", "5"},
        ReadCase{"QueryCase", "[s]\r\nkey=1\r\n", "S", "KEY", "1"},
        ReadCase{"CaseIsAsciiOnly", "[\xC0]\r\nk=1\r\n", "\xE0", "k", kDefault},
        ReadCase{"HighBytesInNames", "[\xC0\xFF]\r\n\xE9=1\r\n", "\xC0\xFF", "\xE9", "1"},
        ReadCase{"BlanksTrimmed", "[s]\r\nk =  \t value \t \r\n", "s", "k", "value"},
        ReadCase{"IndentedLines", "  [s]  \r\n\t k\t=v\r\n", "s", "k", "v"},
        ReadCase{"BlanksInsideNames", "[ my step ]\r\nmy key = 1\r\n", "my step", "my key", "1"},
        ReadCase{"QueryBlanksIgnored", "[s]\r\nk=1\r\n", " s ", "\tk", "1"},
        ReadCase{"DoubleQuotes", "[s]\r\nk=\"quoted\"\r\n", "s", "k", "quoted"},
        ReadCase{"SingleQuotes", "[s]\r\nk='quoted'\r\n", "s", "k", "quoted"},
        ReadCase{"QuotesAfterTrim", "[s]\r\nk=  \"q\"  \r\n", "s", "k", "q"},
        ReadCase{"BlanksInsideQuotesKept", "[s]\r\nk=\" q \"\r\n", "s", "k", " q "},
        ReadCase{"OnlyOnePair", "[s]\r\nk=\"\"q\"\"\r\n", "s", "k", "\"q\""},
        ReadCase{"MismatchedQuotesKept", "[s]\r\nk=\"q'\r\n", "s", "k", "\"q'"},
        ReadCase{"LoneQuoteKept", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        ReadCase{"EmptyQuotes", "[s]\r\nk=\"\"\r\n", "s", "k", ""},
        ReadCase{"EmptyValueIsNotMissing", "[s]\r\nk=\r\n", "s", "k", ""},
        ReadCase{"ValueWithEquals", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        ReadCase{"CommentIgnored", "[s]\r\n;k=1\r\nk=2\r\n", "s", "k", "2"},
        ReadCase{"IndentedComment", "[s]\r\n  ;k=1\r\n", "s", "k", kDefault},
        ReadCase{"LineWithoutEqualsIgnored", "[s]\r\nk\r\nk 1\r\n", "s", "k", kDefault},
        ReadCase{"FirstEntryWins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        ReadCase{"FirstSectionWins", "[s]\r\nx=1\r\n[S]\r\nx=2\r\n", "s", "x", "1"},
        ReadCase{"LaterDuplicateSectionUnseen", "[s]\r\nx=1\r\n[s]\r\ny=2\r\n", "s", "y", kDefault},
        ReadCase{"EntriesBeforeAnySection", "k=1\r\n[s]\r\n", "", "k", kDefault},
        ReadCase{"EmptySectionName", "[]\r\nk=1\r\n", "", "k", kDefault},
        ReadCase{"EmptyHeaderOwnsItsEntries", "[a]\r\n[ ]\r\nk=1\r\n", "a", "k", kDefault},
        ReadCase{"HeaderWithoutBracket", "[abc \r\nx=1\r\n", "abc", "x", kDefault},
        ReadCase{"BracketLineBelongsAbove", "[sett]\r\nsleep=100\r\n[5\r\nx=7\r\n", "sett", "x",
                 "7"},
        ReadCase{"BracketLineWithEqualsIsAnEntry", "[s]\r\n[5=3\r\n", "s", "[5", "3"},
        ReadCase{"NameEndsAtLastBracket", "[a]b] \r\nk=1\r\n", "a]b", "k", "1"},
        ReadCase{"TextAfterBracket", "[s] trailing\r\nx=1\r\n", "s", "x", "1"},
        ReadCase{"LfLineEnds", "[a]\nx=1\n[b]\nx=2\n", "b", "x", "2"},
        ReadCase{"CrLineEnds", "[a]\rx=1\r[b]\rx=2\r", "b", "x", "2"},
        ReadCase{"MixedLineEnds", "[a]\r\nx=1\n\r[b]\rx=2", "b", "x", "2"},
        ReadCase{"NoFinalLineEnd", "[s]\r\nk=last", "s", "k", "last"},
        ReadCase{"HighBytesKept", "[s]\r\nk=\x80\x98\xC0\xFF\r\n", "s", "k", "\x80\x98\xC0\xFF"},
        ReadCase{"NulEndsValue", "[s]\r\nk=a\0b\r\n"s, "s", "k", "a"},
        ReadCase{"NulThenBlanksAndQuotes", "[s]\r\nk= \"a\" \0\"\r\n"s, "s", "k", "a"},
        ReadCase{"DefaultLosesTrailingBlanks", "[s]\r\n", "s", "k", " d", " d \t "},
        ReadCase{"Utf8Bom", "\xEF\xBB\xBF[s]\r\nk=\xD0\x9F\xD1\x80\xD0\xB8\r\n", "s", "k",
                 "\xCF\xF0\xE8"},
        ReadCase{"Utf8BomOutsideTheCodePage",
                 "\xEF\xBB\xBF[s]\r\nk=\xE6\x97\xA5\xE2\x82\xAC\xFF\r\n", "s", "k", "?\x88?"},
        ReadCase{"Utf16Le", utf16(u"[s]\r\nk=\u041F\u0440\u0438\u0432\u0435\u0442\r\n", true), "s",
                 "k", "\xCF\xF0\xE8\xE2\xE5\xF2"},
        ReadCase{"Utf16Be", utf16(u"[\u0448\u0430\u0433]\r\nK = 'v' \r\n", false), "\xF8\xE0\xE3",
                 "k", "v"},
        ReadCase{"Utf16OutsideTheCodePage", utf16(u"[s]\r\nk=\U0001F600\u65E5\xDC00x", true), "s",
                 "k", "???x"},
        ReadCase{"Utf16Nul", utf16(u"[s]\r\nk=a\0b\r\n"s, false), "s", "k", "a"},
        ReadCase{"CutTo2047", "[s]\r\nk=" + k3000 + "\r\n", "s", "k", k3000.substr(0, 2047)},
        ReadCase{"CutAfterQuotes", "[s]\r\nk=\"" + k3000.substr(0, 2047) + "\"\r\n", "s", "k",
                 k3000.substr(0, 2047)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileStore, MissingFileReadsAsEmpty) {
    TempFolder dir;
    ProfileStore store(dir / "absent.ini");
    EXPECT_EQ(store.readString("sett", "sleep", "d"), "d");
    EXPECT_EQ(store.readInteger("sett", "sleep", 42), 42);
    EXPECT_TRUE(store.sections().empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.ini"));

    ProfileStore inMissingFolder(dir / "no" / "such" / "folder.ini");
    EXPECT_EQ(inMissingFolder.readString("a", "b", "d"), "d");
}

struct IntCase {
    const char* stored;
    std::int32_t expected;
};

class ReadInteger : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadInteger, ConvertsOrGivesTheDefault) {
    TempFolder dir;
    writeBytes(dir / "s.ini", "[s]\r\nv="s + GetParam().stored + "\r\n");
    ProfileStore store(dir / "s.ini");
    EXPECT_EQ(store.readInteger("s", "v", -7), GetParam().expected) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(Rules, ReadInteger,
                         ::testing::Values(IntCase{"0x1F", 31}, IntCase{"0X1f", 31},
                                           IntCase{"$1F", 31}, IntCase{"x1F", 31},
                                           IntCase{"12abc", -7}, IntCase{"12", 12},
                                           IntCase{"  12  ", 12}, IntCase{"\"12\"", 12},
                                           IntCase{"-5", -5}, IntCase{"+5", 5},
                                           IntCase{"$FFFFFFFF", -1}, IntCase{"0xFFFFFFFF", -1},
                                           IntCase{"0x", -7}, IntCase{"0x100000000", -7},
                                           IntCase{"", -7}, IntCase{"2147483648", -7},
                                           IntCase{"-2147483648", INT32_MIN}, IntCase{"1.5", -7}));

TEST(ProfileStore, ReadIntegerMissingKeyGivesDefault) {
    TempFolder dir;
    writeBytes(dir / "s.ini", "[s]\r\n");
    ProfileStore store(dir / "s.ini");
    EXPECT_EQ(store.readInteger("s", "v", 99), 99);
}

TEST(ProfileStore, ReadBool) {
    TempFolder dir;
    writeBytes(dir / "s.ini", "[s]\r\none=1\r\nzero=0\r\nneg=-3\r\nword=yes\r\n");
    ProfileStore store(dir / "s.ini");
    EXPECT_TRUE(store.readBool("s", "one", false));
    EXPECT_FALSE(store.readBool("s", "zero", true));
    EXPECT_TRUE(store.readBool("s", "neg", false));
    EXPECT_TRUE(store.readBool("s", "word", true));
    EXPECT_FALSE(store.readBool("s", "word", false));
    EXPECT_TRUE(store.readBool("s", "missing", true));
    EXPECT_FALSE(store.readBool("s", "missing", false));
}

// ---------------------------------------------------------------- sections

TEST(ProfileStore, ListsEverySectionInFileOrder) {
    TempFolder dir;
    std::string file = "[sett]\r\nsleep=300\r\n";
    std::vector<std::string> expected{"sett"};
    for (int n = 1; n <= 4000; ++n) {
        file += "[" + std::to_string(n) + "]\r\nx=1\r\n";
        expected.push_back(std::to_string(n));
    }
    writeBytes(dir / "s.ini", file);
    ProfileStore store(dir / "s.ini");
    std::vector<std::string> names{"stale"};
    store.readSections(names);
    EXPECT_EQ(names, expected);
}

TEST(ProfileStore, SectionNamesAsWrittenWithDuplicatesAndOddHeaders) {
    TempFolder dir;
    writeBytes(dir / "s.ini",
               "junk\r\n[ B ]\r\n;[c]\r\n[a]x\r\nk=[d]\r\n[b]\r\n[open\r\n[]\r\n[x]y] \r\n[ ]");
    ProfileStore store(dir / "s.ini");
    EXPECT_EQ(store.sections(), (std::vector<std::string>{"B", "a", "b", "x]y"}));
    writeBytes(dir / "bom.ini", "\xEF\xBB\xBF[first]\r\n[second]\r\n");
    EXPECT_EQ(ProfileStore(dir / "bom.ini").sections(),
              (std::vector<std::string>{"first", "second"}));
}

// ---------------------------------------------------------------- writes

struct WriteCase {
    const char* name;
    std::string before; // "-" : no file
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

class WriteString : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteString, ChangesOnlyWhatItMust) {
    const WriteCase& c = GetParam();
    TempFolder dir;
    const auto file = dir / "s.ini";
    if (c.before != "-") {
        writeBytes(file, c.before);
    }
    ProfileStore store(file);
    store.writeString(c.section, c.key, c.value);
    EXPECT_EQ(readBytes(file), c.after);
    EXPECT_EQ(store.readString(c.section, c.key, kDefault), c.value);
    EXPECT_EQ(ProfileStore(file).readString(c.section, c.key, kDefault), c.value);
    EXPECT_EQ(dir.entryCount(), 1U) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WriteString,
    ::testing::Values(
        WriteCase{"CreatesFile", "-", "sett", "sleep", "300", "[sett]\r\nsleep=300\r\n"},
        WriteCase{"AppendsKey", "[s]\r\nx=1\r\n", "s", "y", "2", "[s]\r\nx=1\r\ny=2\r\n"},
        WriteCase{"AppendsSection", "[a]\r\nx=1\r\n", "b", "y", "2",
                  "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        WriteCase{"ReplacesInPlaceKeepingKeyText", "[S]\r\n  Key = old \r\nz=1\r\n", "s", "KEY",
                  "new", "[S]\r\n  Key =new\r\nz=1\r\n"},
        WriteCase{"ReplacesEmptyValue", "[s]\r\nk=\r\n", "s", "k", "v", "[s]\r\nk=v\r\n"},
        WriteCase{"KeyAfterLastEntryBeforeBlanks", "[a]\r\nx=1\r\n; note\r\n\r\n[b]\r\n", "a", "y",
                  "2", "[a]\r\nx=1\r\ny=2\r\n; note\r\n\r\n[b]\r\n"},
        WriteCase{"KeyIntoEmptySection", "[a]\r\n\r\n[b]\r\n", "a", "k", "v",
                  "[a]\r\nk=v\r\n\r\n[b]\r\n"},
        WriteCase{"FirstOfDuplicateSections", "[s]\r\nx=1\r\n[s]\r\nx=2\r\n", "S", "x", "9",
                  "[s]\r\nx=9\r\n[s]\r\nx=2\r\n"},
        WriteCase{"NoFinalLineEndNewKey", "[a]\r\nx=1", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},
        WriteCase{"NoFinalLineEndNewSection", "[a]\r\nx=1", "b", "y", "2",
                  "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        WriteCase{"NoFinalLineEndReplace", "[a]\r\nx=1", "a", "x", "22", "[a]\r\nx=22"},
        WriteCase{"LfLinesKept", "[a]\nx=1\n[b]\ny=2\n", "a", "z", "3",
                  "[a]\nx=1\nz=3\r\n[b]\ny=2\n"},
        WriteCase{"CrLinesKept", "[a]\rx=1\r[b]\ry=2\r", "b", "y", "5", "[a]\rx=1\r[b]\ry=5\r"},
        WriteCase{"AfterLoneCr", "[a]\rx=1\r", "c", "k", "v", "[a]\rx=1\r[c]\r\nk=v\r\n"},
        WriteCase{"HeaderWithoutBracket", "[abc\r\nx=1\r\n", "abc", "y", "2",
                  "[abc\r\nx=1\r\n[abc]\r\ny=2\r\n"},
        WriteCase{"Utf8BomKept", "\xEF\xBB\xBF[s]\r\nj=\xE6\x97\xA5\xFF\r\nk=1\r\n", "s", "k",
                  "\xCF\xF0\x98",
                  "\xEF\xBB\xBF[s]\r\nj=\xE6\x97\xA5\xFF\r\nk=\xD0\x9F\xD1\x80\xC2\x98\r\n"},
        WriteCase{"Utf8BomNewSection", "\xEF\xBB\xBF[s]\r\nk=1", "\xF8", "k", "2",
                  "\xEF\xBB\xBF[s]\r\nk=1\r\n[\xD1\x88]\r\nk=2\r\n"},
        WriteCase{"Utf16LeKept", utf16(u"[s]\r\nj=\U0001F600\r\nk=1\r\n", true), "s", "k", "\xC0 ",
                  utf16(u"[s]\r\nj=\U0001F600\r\nk=\"\u0410 \"\r\n", true)},
        WriteCase{"Utf16BeNewSection", utf16(u"[s]\r\nk=1\r\n", false), "t", "k", "\xE0",
                  utf16(u"[s]\r\nk=1\r\n[t]\r\nk=\u0430\r\n", false)},
        WriteCase{"PreambleKept", "k=1\r\n", "s", "k", "2", "k=1\r\n[s]\r\nk=2\r\n"},
        WriteCase{"HighBytes", "[s]\r\nk=\xC0\r\n", "s", "k", "\x80\xA8\xFF",
                  "[s]\r\nk=\x80\xA8\xFF\r\n"},
        WriteCase{"LeadingBlankQuoted", "-", "s", "k", " a", "[s]\r\nk=\" a\"\r\n"},
        WriteCase{"TrailingTabQuoted", "-", "s", "k", "a\t", "[s]\r\nk=\"a\t\"\r\n"},
        WriteCase{"QuotedValueQuotedAgain", "-", "s", "k", "\"q\"", "[s]\r\nk=\"\"q\"\"\r\n"},
        WriteCase{"SingleQuotedValueQuoted", "-", "s", "k", "'q'", "[s]\r\nk=\"'q'\"\r\n"},
        WriteCase{"InnerQuotesAsIs", "-", "s", "k", "a\"b'", "[s]\r\nk=a\"b'\r\n"},
        WriteCase{"LoneQuoteAsIs", "-", "s", "k", "\"", "[s]\r\nk=\"\r\n"},
        WriteCase{"EmptyValue", "-", "s", "k", "", "[s]\r\nk=\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileStore, EveryQuotedOrBlankValueRoundTrips) {
    TempFolder dir;
    ProfileStore store(dir / "s.ini");
    const std::vector<std::string> values{" ",   "  ",  "\t",    " a ", "\"\"", "''",
                                          "\"'", "'\"", "\" \"", "\"a", "a'",   "\"\"\"",
                                          " \"", "x=y", ";c",    "[s]", "\xA0", "\"a\" "};
    int n = 0;
    for (const std::string& v : values) {
        store.writeString("s", "k" + std::to_string(n++), v);
    }
    ProfileStore fresh(dir / "s.ini");
    n = 0;
    for (const std::string& v : values) {
        EXPECT_EQ(fresh.readString("s", "k" + std::to_string(n++), kDefault), v) << "[" << v << "]";
    }
}

TEST(ProfileStore, IntegerAndBoolWrites) {
    TempFolder dir;
    ProfileStore store(dir / "s.ini");
    store.writeInteger("s", "neg", -5);
    store.writeInteger("s", "min", INT32_MIN);
    store.writeBool("s", "t", true);
    store.writeBool("s", "f", false);
    EXPECT_EQ(readBytes(dir / "s.ini"), "[s]\r\nneg=-5\r\nmin=-2147483648\r\nt=1\r\nf=0\r\n");
}

TEST(ProfileStore, WriteStringsMixesReplacedAndNewKeysInOneReplacement) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    writeBytes(file, "[1]\r\nx=1\r\nsleep=5\r\n[2]\r\nx=2\r\n");
    ProfileStore store(file);
    store.writeStrings("1", {{"x", "10"}, {"y", "20"}, {"key", "1"}, {"Y", "21"}});
    EXPECT_EQ(readBytes(file), "[1]\r\nx=10\r\nsleep=5\r\ny=21\r\nkey=1\r\n[2]\r\nx=2\r\n");
    store.writeStrings("3", {{"x", "7"}, {"y", "8"}, {"key", "2"}});
    EXPECT_EQ(
        readBytes(file),
        "[1]\r\nx=10\r\nsleep=5\r\ny=21\r\nkey=1\r\n[2]\r\nx=2\r\n[3]\r\nx=7\r\ny=8\r\nkey=2\r\n");
    store.writeStrings("4", {});
    EXPECT_EQ(store.sections(), (std::vector<std::string>{"1", "2", "3"})) << "nothing to write";
}

TEST(ProfileStore, RejectsTextThatWouldBreakTheFile) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    writeBytes(file, "[s]\r\nk=1\r\n");
    ProfileStore store(file);
    const std::vector<std::pair<std::string, std::string>> badNames{
        {"a\rb", "k"}, {"a\nb", "k"}, {"a\0b"s, "k"}, {"a]b", "k"}, {"s", "k\r"}, {"s", "k\n"},
        {"s", "k\0"s}, {"s", "a=b"},  {"s", "[k"},    {"s", " ;k"}, {"", "k"},    {" ", "k"}};
    for (const auto& [section, key] : badNames) {
        EXPECT_THROW(store.writeString(section, key, "v"), std::invalid_argument) << key;
    }
    for (const std::string& value : {"a\rb"s, "a\nb"s, "a\0b"s, "\r\n"s}) {
        EXPECT_THROW(store.writeString("s", "k", value), std::invalid_argument);
        EXPECT_THROW(store.writeStrings("s", {{"x", "1"}, {"k", value}}), std::invalid_argument);
    }
    EXPECT_EQ(readBytes(file), "[s]\r\nk=1\r\n");
}

TEST(ProfileStore, RemoveSectionsKeepsEverythingElse) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    writeBytes(file, "; head\n[sett]\r\nsleep=300\r\n[1]\r\nx=1\n\n[Keep]\rk=v\r[2]\r\nx=2");
    ProfileStore store(file);
    store.removeSections([](std::string_view name) { return name == "1" || name == "2"; });
    EXPECT_EQ(readBytes(file), "; head\n[sett]\r\nsleep=300\r\n[Keep]\rk=v\r");
    EXPECT_EQ(store.sections(), (std::vector<std::string>{"sett", "Keep"}));
    EXPECT_EQ(store.readString("1", "x", kDefault), kDefault);

    // Whole seconds: some file systems and runtimes keep no finer times.
    const auto past = std::chrono::floor<std::chrono::seconds>(
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
    std::filesystem::last_write_time(file, past);
    store.removeSections([](std::string_view) { return false; });
    EXPECT_EQ(std::filesystem::last_write_time(file), past)
        << "nothing to remove must not rewrite the file";
}

// A write into a file of any bytes keeps every byte it does not change: the
// new file is the old one with one insertion (a new key or section) or one
// value replaced.
TEST(ProfileStore, WritesIntoOddFilesKeepEveryOtherByte) {
    std::mt19937 rng(2024);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) {
        c = static_cast<char>(rng());
    }
    const std::vector<std::string> files{
        binary,
        "\0\0[s]\0\r\n\0=\0\r\n"s,
        "[s]\n\r\n\r\r\nx\r=\n",
        "[s",
        "[s]\r\nnovalue\r\n=\r\nk=\r\n===\r\n",
        std::string(5000, '\r') + "[s]" + std::string(5000, '\n'),
        "\xEF\xBB\xBF[s]\r\nk=\xFF\xFE\r\n",
        utf16(u"[s]\r\nk=\xD800\r\n", false) + "\x01",
        utf16(u"\r[s]\r\n\0=\0\r\nk=\xDBFF", true),
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (const auto& [section, key] : {std::pair{"s", "k"}, std::pair{"new", "n"}}) {
            TempFolder dir;
            const auto file = dir / "odd.ini";
            writeBytes(file, files[i]);
            ProfileStore store(file);
            const auto sectionsBefore = store.sections();
            store.writeString(section, key, "VALUE");
            const std::string after = readBytes(file);
            const std::string& old = files[i];
            std::size_t prefix = 0;
            while (prefix < old.size() && prefix < after.size() && old[prefix] == after[prefix]) {
                ++prefix;
            }
            std::size_t suffix = 0;
            while (suffix < old.size() - prefix && suffix < after.size() - prefix &&
                   old[old.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
                ++suffix;
            }
            const std::string removed = old.substr(prefix, old.size() - prefix - suffix);
            const std::string inserted = after.substr(prefix, after.size() - prefix - suffix);
            EXPECT_EQ(removed.find_first_of("\r\n"), std::string::npos)
                << "file " << i << ": a line end was lost";
            const std::string value =
                old[0] == '\xFE' ? utf16(u"VALUE", false).substr(2)
                                 : (old[0] == '\xFF' ? utf16(u"VALUE", true).substr(2) : "VALUE");
            EXPECT_NE(inserted.find(value), std::string::npos) << "file " << i;
            EXPECT_EQ(ProfileStore(file).readString(section, key, kDefault), "VALUE")
                << "file " << i;
            auto sectionsAfter = ProfileStore(file).sections();
            if (sectionsAfter.size() == sectionsBefore.size() + 1) {
                EXPECT_EQ(sectionsAfter.back(), section);
                sectionsAfter.pop_back();
            }
            EXPECT_EQ(sectionsAfter, sectionsBefore) << "file " << i;
        }
    }
}

// ---------------------------------------------------------------- failures and other writers

TEST(ProfileStore, WritesThatCannotHappenThrowAndTouchNothing) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "folder.ini" / "inner");
    for (const auto& target : {dir / "missing" / "s.ini", dir / "folder.ini"}) {
        ProfileStore store(target);
        try {
            store.writeString("s", "k", "v");
            ADD_FAILURE() << "no error for " << target;
        } catch (const AppError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + pathToUtf8(target));
        }
        EXPECT_THROW(store.writeStrings("s", {{"a", "1"}, {"b", "2"}}), AppError) << target;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.ini" / "inner"));
    EXPECT_EQ(dir.entryCount(), 1U) << "a temporary file was left behind";
}

TEST(ProfileStore, EveryReadSeesTheLastWriteOfAnyone) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    ProfileStore reader(file);
    ProfileStore writer(file);
    EXPECT_EQ(reader.readString("s", "x", "none"), "none");
    writer.writeString("s", "x", "1");
    EXPECT_EQ(reader.readString("s", "x", ""), "1");
    writeBytes(file, "[s]\r\nx=22\r\n");
    EXPECT_EQ(reader.readString("s", "x", ""), "22");
    EXPECT_EQ(writer.readString("s", "x", ""), "22");
    writer.writeString("s", "y", "3");
    EXPECT_EQ(readBytes(file), "[s]\r\nx=22\r\ny=3\r\n") << "a write starts from the current file";
    std::filesystem::remove(file);
    EXPECT_EQ(reader.readString("s", "x", "gone"), "gone");
    EXPECT_TRUE(reader.sections().empty());
}

// ---------------------------------------------------------------- size and shape limits

TEST(ProfileStore, HugeLinesAndManySections) {
    TempFolder dir;
    const auto file = dir / "big.ini";
    std::string bytes = "[s]\r\nlong=" + std::string(10 * 1024 * 1024, 'L') + "\r\nx=1\r\n";
    for (int n = 0; n < 100000; ++n) {
        bytes += "[" + std::to_string(n) + "]\n";
    }
    writeBytes(file, bytes);
    ProfileStore store(file);
    EXPECT_EQ(store.readString("s", "long", ""), std::string(2047, 'L'));
    EXPECT_EQ(store.readString("s", "x", ""), "1");
    const auto names = store.sections();
    ASSERT_EQ(names.size(), 100001U);
    EXPECT_EQ(names.back(), "99999");
    store.writeString("99999", "k", "v");
    EXPECT_EQ(readBytes(file), bytes + "k=v\r\n");
}

TEST(ProfileStore, LongSectionsAreIndexedLikeShortOnes) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    std::string bytes = "[s]\r\n";
    for (int n = 0; n < 500; ++n) {
        bytes += "K" + std::to_string(n) + "=" + std::to_string(n * 3) + "\r\n";
    }
    bytes += "k7=dup\r\n[t]\r\nk1=other\r\n";
    writeBytes(file, bytes);
    ProfileStore store(file);
    EXPECT_EQ(store.readString("s", "k7", ""), "21");
    EXPECT_EQ(store.readString("s", "k499", ""), "1497");
    EXPECT_EQ(store.readString("s", "k500", "none"), "none");
    EXPECT_EQ(store.readString("t", "K1", ""), "other");
    store.writeString("s", "k250", "x");
    EXPECT_EQ(store.readString("s", "K250", ""), "x");
    EXPECT_EQ(store.readString("s", "k251", ""), "753");
}

} // namespace
} // namespace pressmark
