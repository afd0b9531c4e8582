#include "scenario/ScenarioFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pressmark {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

struct NameCase {
    std::string name;
    bool valid;
};

class ScenarioName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ScenarioName, IsValidOnlyWhenItStaysAFileInTheFolder) {
    EXPECT_EQ(isValidScenarioName(GetParam().name), GetParam().valid)
        << "[" << GetParam().name << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Names, ScenarioName,
    ::testing::Values(NameCase{"login", true}, NameCase{"Вход в почту", true},
                      NameCase{" a ", true}, NameCase{"a.b", true}, NameCase{"...", true},
                      NameCase{".hidden", true}, NameCase{"", false}, NameCase{" \t ", false},
                      NameCase{".", false}, NameCase{"..", false}, NameCase{" .. ", false},
                      NameCase{"a/b", false}, NameCase{"a\\b", false}, NameCase{"a:b", false},
                      NameCase{"a*", false}, NameCase{"a?", false}, NameCase{"\"a\"", false},
                      NameCase{"<a>", false}, NameCase{"a|b", false}, NameCase{"a\tb", false},
                      NameCase{"a\nb", false}, NameCase{"a\x1F", false}, NameCase{"a\x7F", false},
                      NameCase{std::string("a\0b", 3), false},
                      NameCase{std::string(200, 'n'), true}, NameCase{std::string(201, 'n'), false},
                      // 100 two-byte letters are 200 bytes; the limit counts bytes.
                      NameCase{[] {
                                   std::string s;
                                   for (int i = 0; i < 100; ++i) {
                                       s += "ж";
                                   }
                                   return s;
                               }(),
                               true},
                      NameCase{std::string(199, 'n') + "ж", false},
                      NameCase{std::string(199, 'n') + " ", true},
                      NameCase{std::string(200, 'n') + " ", false}));

TEST(ScenarioFolder, FileAndNameRoundTripInUtf8) {
    const fs::path folder = "/data/TH_Scenaries";
    for (const std::string name : {"login", "Вход в почту", "a.b", "ёЁ №1"}) {
        const fs::path file = scenarioFile(folder, name);
        EXPECT_EQ(file.parent_path(), folder);
        EXPECT_EQ(pathToUtf8(file.filename()), name + ".ini");
        EXPECT_EQ(scenarioName(file), name);
    }
    EXPECT_EQ(pathToUtf8(pathFromUtf8("/tmp/Привет")), "/tmp/Привет");
}

// What stands in the program folder before the choice.
enum class Beside { Nothing, Folder, File };

struct FolderCase {
    const char* what;
    BesideProgram policy;
    Beside beside;
    bool cli, env;
    const char* xdg; // relative to the test folder; "" unset, "rel" relative
    bool home;
    const char* chosen; // relative to the test folder
    bool created;       // the chosen folder exists afterwards
};

TEST(ScenarioFolder, IsChosenAndCreatedAsThePlatformAndTheUserSay) {
    using B = BesideProgram;
    const FolderCase cases[] = {
        {"the command line first, never created", B::WhenPresent, Beside::Folder, true, true, "xdg",
         true, "cli/deep", false},
        {"then the environment, created", B::WhenPresent, Beside::Folder, false, true, "xdg", true,
         "env", true},
        {"Linux: a portable copy beside the program", B::WhenPresent, Beside::Folder, false, false,
         "xdg", true, "app/TH_Scenaries", true},
        {"Linux: else the XDG data folder, never the build folder", B::WhenPresent, Beside::Nothing,
         false, false, "xdg", true, "xdg/pressmark/TH_Scenaries", true},
        {"Linux: a relative XDG_DATA_HOME is ignored", B::WhenPresent, Beside::Nothing, false,
         false, "rel", true, "home/.local/share/pressmark/TH_Scenaries", true},
        {"Linux: XDG_DATA_HOME unset", B::WhenPresent, Beside::Nothing, false, false, "", true,
         "home/.local/share/pressmark/TH_Scenaries", true},
        {"Windows: beside the program when it can be written", B::WhenWritable, Beside::Nothing,
         false, false, "xdg", true, "app/TH_Scenaries", true},
        {"Windows: else the per-user folder", B::WhenWritable, Beside::File, false, false, "xdg",
         true, "xdg/pressmark/TH_Scenaries", true},
    };
    for (const FolderCase& c : cases) {
        TempFolder dir;
        fs::create_directories(dir / "app");
        if (c.beside == Beside::Folder) {
            fs::create_directories(dir / "app" / "TH_Scenaries");
        } else if (c.beside == Beside::File) {
            // The program folder itself is a file: nothing can be written there.
            fs::remove(dir / "app");
            test::writeBytes(dir / "app", "not a folder");
        }
        ScenarioFolderInputs in;
        in.policy = c.policy;
        in.appDir = dir / "app";
        if (c.cli) {
            in.commandLine = dir / "cli" / "deep";
        }
        if (c.env) {
            in.environment = dir / "env";
        }
        if (std::string_view(c.xdg) == "rel") {
            in.xdgDataHome = fs::path("relative/ignored");
        } else if (*c.xdg) {
            in.xdgDataHome = dir / c.xdg;
        }
        if (c.home) {
            in.home = dir / "home";
        }
        EXPECT_EQ(chooseScenarioFolder(in), dir / c.chosen) << c.what;
        EXPECT_EQ(fs::is_directory(dir / c.chosen), c.created) << c.what;
        if (c.beside != Beside::File) {
            EXPECT_TRUE(!fs::exists(dir / "app" / "TH_Scenaries") ||
                        fs::is_empty(dir / "app" / "TH_Scenaries"))
                << c.what << ": the probe file must be removed";
        }
        if (c.beside == Beside::Nothing && c.policy == B::WhenPresent) {
            EXPECT_FALSE(fs::exists(dir / "app" / "TH_Scenaries")) << c.what;
        }
    }
}

// (Names that are not UTF-8, or that Windows would refuse, are listed and
// played end to end: tests/e2e/headless_play.sh.)
TEST(ScenarioFolder, ListsIniFilesOfAnyCaseAndFindsEachListedName) {
    TempFolder dir;
    for (const char* name : {"plain.ini", "UPPER.INI", "Вход.ini", "notes.txt", ".ini"}) {
        test::writeBytes(dir.path() / pathFromUtf8(name), "[1]\n");
    }
    fs::create_directories(dir / "folder.ini");
    // Where file names are bytes, Почта.ini saved in UTF-8 and in code page
    // 1251 read the same: the second is marked, in the list and for --play.
    constexpr bool byteNames = std::is_same_v<fs::path::value_type, char>;
    if constexpr (byteNames) {
        test::writeBytes(dir.path() / pathFromUtf8("Почта.ini"), "[1]\n");
        test::writeBytes(dir.path() / fs::path(std::string("\xCF\xEE\xF7\xF2\xE0.ini")), "[1]\n");
    }
    std::error_code ec;
    auto entries = listScenarios(dir.path(), ec);
    ASSERT_FALSE(ec);
    std::vector<std::string> names;
    for (const ScenarioEntry& e : entries) {
        names.push_back(e.nameUtf8 + "|" + e.fileNameUtf8);
        EXPECT_EQ(findScenario(entries, e.nameUtf8), e.file) << e.nameUtf8;
        EXPECT_EQ(findScenario(entries, e.fileNameUtf8), e.file) << e.fileNameUtf8;
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{"UPPER|UPPER.INI", "plain|plain.ini", "Вход|Вход.ini"};
    if constexpr (byteNames) {
        expected.insert(expected.end(), {"Почта (cp1251)|Почта.ini (cp1251)", "Почта|Почта.ini"});
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(findScenario(entries, "nosuch"), fs::path());
    EXPECT_EQ(findScenario(entries, "../plain"), fs::path());
    // Where file names are bytes, code page 1251 bytes that are not UTF-8 are
    // shown decoded (Windows' names are UTF-16, always decodable).
    if constexpr (std::is_same_v<fs::path::value_type, char>) {
        EXPECT_EQ(displayFileName(fs::path(std::string("\xCF\xF0\xE8\xE2\xE5\xF2.ini"))),
                  "Привет.ini");
    }

    listScenarios(dir / "missing", ec);
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
}

} // namespace
} // namespace pressmark

TEST(ScenarioFolderTest, NamesSortAsTheAlphabetHasThem) {
    std::vector<std::string> names{"beta",  "Яблоко", "ёлка", "Alpha", "абв",
                                   "alpha", "Ёлка",   "ель",  "жук"};
    std::sort(names.begin(), names.end(), pressmark::scenarioNameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "beta", "абв", "ель", "Ёлка",
                                               "ёлка", "жук", "Яблоко"}));
}
