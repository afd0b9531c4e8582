#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pressmark {

// What the command line asks for. Parsing needs no application object and
// no display, so --help, --version, --list and argument errors work anywhere.
// Both programs read it the same way; only the help differs where the
// systems differ.
struct CommandLine {
    enum class Mode { Window, Play, List, Help, Version, Error };
    Mode mode = Mode::Window;
    std::optional<std::string> scenarios; // --scenarios DIR, UTF-8
    std::string play;                     // --play NAME, UTF-8
    std::optional<int> repeat;            // --repeat N
    std::string error;                    // Mode::Error: what is wrong
};

// The arguments after the program's name, in UTF-8. Options are "--name",
// "--name VALUE" or "--name=VALUE"; "-h" and "-v" are short for help and
// version, and "/?" asks for help on Windows.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

enum class HelpFor { Linux, Windows };
std::string helpText(HelpFor system);

// Exit codes of the program.
enum ExitCode {
    ExitDone = 0,
    ExitStopped = 1,
    ExitBadArguments = 2,
    ExitNoScenario = 3,
    ExitNoDisplay = 4,
    ExitRunFailed = 5,
};

} // namespace pressmark
