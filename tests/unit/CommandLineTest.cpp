#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>

using pressmark::CommandLine;
using Mode = CommandLine::Mode;

TEST(CommandLineTest, ReadsWhatEachArgumentListAsksFor) {
    struct Row {
        std::vector<std::string> args;
        Mode mode;
        std::string playOrError; // the scenario, or a piece of the error
        int repeat = 0;
        std::string scenarios = {};
    };
    const Row rows[] = {
        {{}, Mode::Window, ""},
        {{"--scenarios", "C:\\Мои сценарии"}, Mode::Window, "", 0, "C:\\Мои сценарии"},
        {{"--list", "--scenarios=/tmp/s"}, Mode::List, "", 0, "/tmp/s"},
        {{"--play", "два слова", "--repeat", "3"}, Mode::Play, "два слова", 3},
        {{"--play=Ёлка"}, Mode::Play, "Ёлка"},
        {{"--play", "--list"}, Mode::Play, "--list"}, // a value is taken as it stands
        {{"-h"}, Mode::Help, ""},
        {{"--list", "/?"}, Mode::Help, ""},
        {{"-v"}, Mode::Version, ""},
        {{"--repeat", "2"}, Mode::Error, "only with --play"},
        {{"--play", "x", "--repeat", "0"}, Mode::Error, "'0'"},
        {{"--play", "x", "--repeat", "3x"}, Mode::Error, "'3x'"},
        {{"--play"}, Mode::Error, "needs a value"},
        {{"--play", "x", "--list"}, Mode::Error, "cannot be combined"},
        {{"--play", "a", "--play", "b"}, Mode::Error, "more than once"},
        {{"--scenarios="}, Mode::Error, "needs a folder"},
        {{"--list=1"}, Mode::Error, "takes no value"},
        {{"--bogus"}, Mode::Error, "'--bogus'"},
        {{"-play", "x"}, Mode::Error, "'-play'"},
        {{"name"}, Mode::Error, "'name'"},
        {{"--", "--list"}, Mode::Error, "'--list'"},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const std::string& a : row.args) {
            shown += a + ' ';
        }
        SCOPED_TRACE(shown);
        const CommandLine cl = pressmark::parseCommandLine(row.args);
        EXPECT_EQ(cl.mode, row.mode);
        if (row.mode == Mode::Error) {
            EXPECT_NE(cl.error.find(row.playOrError), std::string::npos) << cl.error;
        } else {
            EXPECT_EQ(cl.play, row.playOrError);
            EXPECT_EQ(cl.repeat.value_or(0), row.repeat);
            EXPECT_EQ(cl.scenarios.value_or(""), row.scenarios);
        }
    }
}

TEST(CommandLineTest, HelpFitsATerminalAndSpeaksOfItsSystem) {
    const std::string linux = pressmark::helpText(pressmark::HelpFor::Linux);
    const std::string windows = pressmark::helpText(pressmark::HelpFor::Windows);
    for (const std::string* text : {&linux, &windows}) {
        std::istringstream lines(*text);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 79U) << line;
        }
        EXPECT_NE(text->find("--repeat <N>"), std::string::npos);
    }
    EXPECT_NE(linux.find("$PRESSMARK_SCENARIOS"), std::string::npos);
    EXPECT_NE(windows.find("%LOCALAPPDATA%"), std::string::npos);
    EXPECT_NE(windows.find("Usage: pressmark.exe"), std::string::npos);
}
