#include "scenario/ScenarioFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(ScenarioFolder, ExplicitChoicesComeFirstAndAreCreated) {
    TempFolder dir;
    ScenarioFolderInputs in;
    in.appDir = dir / "app";
    in.xdgDataHome = dir / "xdg";
    in.commandLine = dir / "cli" / "deep";
    in.environment = dir / "env";
    EXPECT_EQ(chooseScenarioFolder(in), dir / "cli" / "deep");
    EXPECT_TRUE(fs::is_directory(dir / "cli" / "deep"));
    EXPECT_FALSE(fs::exists(dir / "env"));

    in.commandLine.reset();
    EXPECT_EQ(chooseScenarioFolder(in), dir / "env");
    EXPECT_TRUE(fs::is_directory(dir / "env"));

    in.environment = fs::path();
    EXPECT_EQ(chooseScenarioFolder(in), dir / "app" / "TH_Scenaries");
    EXPECT_TRUE(fs::is_directory(dir / "app" / "TH_Scenaries"));
    EXPECT_TRUE(fs::is_empty(dir / "app" / "TH_Scenaries")) << "the probe file must be removed";
    EXPECT_FALSE(fs::exists(dir / "xdg"));
}

TEST(ScenarioFolder, FallsBackToTheDataFolderWhenTheProgramFolderIsNotUsable) {
    TempFolder dir;
    test::writeBytes(dir / "app", "a file where the program folder would be");
    ScenarioFolderInputs in;
    in.appDir = dir / "app";
    in.home = dir / "home";

    in.xdgDataHome = dir / "xdg";
    EXPECT_EQ(chooseScenarioFolder(in), dir / "xdg" / "pressmark" / "TH_Scenaries");
    EXPECT_TRUE(fs::is_directory(dir / "xdg" / "pressmark" / "TH_Scenaries"));

    in.xdgDataHome = fs::path("relative/ignored");
    EXPECT_EQ(chooseScenarioFolder(in),
              dir / "home" / ".local" / "share" / "pressmark" / "TH_Scenaries");
    in.xdgDataHome.reset();
    EXPECT_EQ(chooseScenarioFolder(in),
              dir / "home" / ".local" / "share" / "pressmark" / "TH_Scenaries");
    EXPECT_TRUE(fs::is_directory(dir / "home" / ".local" / "share" / "pressmark" / "TH_Scenaries"));
}

} // namespace
} // namespace pressmark
