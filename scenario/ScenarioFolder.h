#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pressmark {

// Where scenarios live, in order of precedence: the --scenarios option, the
// PRESSMARK_SCENARIOS variable, the program folder's TH_Scenaries when it can
// be created and written, else $XDG_DATA_HOME/pressmark/TH_Scenaries
// (XDG_DATA_HOME defaulting to ~/.local/share).
struct ScenarioFolderInputs {
    std::optional<std::filesystem::path> commandLine;
    std::optional<std::filesystem::path> environment; // PRESSMARK_SCENARIOS
    std::filesystem::path appDir;                     // the program folder
    std::optional<std::filesystem::path> xdgDataHome;
    std::optional<std::filesystem::path> home;
};
// Creates the chosen folder when it is missing (a failure is not an error:
// the caller shows an empty list and says why).
std::filesystem::path chooseScenarioFolder(const ScenarioFolderInputs& in);

// A scenario name as the user typed it (UTF-8) becomes a file in the folder.
std::filesystem::path scenarioFile(const std::filesystem::path& folder, std::string_view nameUtf8);
// The file name's stem as UTF-8: the scenario's name.
std::string scenarioName(const std::filesystem::path& file);

// A name that would leave the folder or cannot be a file name: empty after
// trimming, holding "/", "\\", a control character or any of : * ? " < > |,
// "." or "..", or longer than 200 bytes.
bool isValidScenarioName(std::string_view nameUtf8);

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string pathToUtf8(const std::filesystem::path& p);

} // namespace pressmark
