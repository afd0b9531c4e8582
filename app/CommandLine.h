#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pressmark {

// What the command line asks for. Parsing needs no application object and
// no display, so --help, --version, --list and argument errors work anywhere.
struct CommandLine {
    enum class Mode { Window, Play, List, Help, Version, Error };
    Mode mode = Mode::Window;
    std::optional<QString> scenarios; // --scenarios DIR
    QString play;                     // --play NAME
    std::optional<int> repeat;        // --repeat N
    QString error;                    // Mode::Error: what is wrong
    QString helpText;
};

CommandLine parseCommandLine(const QStringList& arguments);

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
