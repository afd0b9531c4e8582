#pragma once

#include "CommandLine.h"

#include "platform/Platform.h"
#include "scenario/ScenarioFolder.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// --list and --play, the same in both programs: each program gives them its
// scenario folder, its platform (installed with HeadlessDialogs) and its
// way of writing a line.
namespace pressmark::headless {

// Writes one line of UTF-8 text (without its line break).
using Line = std::function<void(const std::string&)>;

struct Output {
    Line out;   // standard output: --list's names
    Line error; // standard error: progress and problems, "pressmark: " before each problem
};

// A folder named with --scenarios must exist: creating a mistyped path
// would hide the mistake behind an empty list and leave the folder behind.
// True (and said) when it is missing.
bool namedFolderMissing(const CommandLine& cl, const Output& io);

// The names, one per line, in the order the window lists them.
int listScenarios(const std::filesystem::path& folder, const Output& io);

// Plays cl.play from folder, cl.repeat times if given, until it ends, Alt+W
// is pressed or requestStop() is called (the program's Ctrl+C).
int playScenario(const CommandLine& cl, const std::filesystem::path& folder, const Output& io);

// --play has no window to put a message box on, and nobody may be there to
// close it: its notices go to standard error, and no question is asked.
class HeadlessDialogs final : public platform::Dialogs {
public:
    explicit HeadlessDialogs(Output io) : m_io(std::move(io)) {}
    bool notice(std::string_view text, int, const void*) override;
    std::optional<std::string> askValue(std::string_view, std::string_view,
                                        std::string_view) override {
        return std::nullopt;
    }

private:
    Output m_io;
};

} // namespace pressmark::headless
