#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pressmark {

// When the program folder's TH_Scenaries is the scenario folder. On Windows
// it is whenever it can be created and written there; on Linux only when it
// already exists (a portable copy): a build or install folder is no place for
// a user's data.
enum class BesideProgram { WhenWritable, WhenPresent };

// Where scenarios live, in order of precedence: the --scenarios option, the
// PRESSMARK_SCENARIOS variable, the program folder's TH_Scenaries as policy
// says, else the per-user data folder's pressmark/TH_Scenaries
// ($XDG_DATA_HOME defaulting to ~/.local/share; %LOCALAPPDATA% on Windows).
struct ScenarioFolderInputs {
    std::optional<std::filesystem::path> commandLine;
    std::optional<std::filesystem::path> environment; // PRESSMARK_SCENARIOS
    std::filesystem::path appDir;                     // the program folder
    std::optional<std::filesystem::path> xdgDataHome;
    std::optional<std::filesystem::path> home;
    BesideProgram policy = BesideProgram::WhenPresent;
};
// Creates the chosen folder when it is missing, except the command line's: a
// folder the user named is never created (a mistyped path would be left
// behind); the caller reports it missing. Any other failure is not an error
// here: the caller shows an empty list and says why.
std::filesystem::path chooseScenarioFolder(const ScenarioFolderInputs& in);

// One scenario file of the folder: a regular file whose name ends in ".ini"
// in any letter case, as the Windows file list matches it. A name that is
// not UTF-8 is shown decoded from code page 1251; when it then reads as
// another file's name (Почта.ini saved in each encoding), kCp1251Mark
// follows it in both names ("Почта.ini (cp1251)", "Почта (cp1251)"), so that
// the list tells the two apart and --play reaches each.
struct ScenarioEntry {
    std::filesystem::path file; // the real name, byte for byte
    std::string fileNameUtf8;   // shown in the window's list
    std::string nameUtf8;       // the file name without ".ini": --list, --play
};
inline constexpr std::string_view kCp1251Mark = " (cp1251)";
// The folder's scenario files in no particular order; ec tells why the folder
// could not be read (missing, no permission), with nothing listed.
std::vector<ScenarioEntry> listScenarios(const std::filesystem::path& folder, std::error_code& ec);
// The listed scenario named nameUtf8, with or without ".ini"; empty when
// there is none. Only a listed file is ever found, so every name the list
// shows can be played and no name reaches outside the folder.
std::filesystem::path findScenario(const std::vector<ScenarioEntry>& entries,
                                   std::string_view nameUtf8);
// Deletes a scenario file; the deletion is on the disk when this returns
// (where the system lets a program sync a folder).
void removeScenarioFile(const std::filesystem::path& file, std::error_code& ec);
// A file name for display: as it is when it is UTF-8, else decoded as code
// page 1251 (names unpacked from a Windows archive keep its bytes).
std::string displayFileName(const std::filesystem::path& fileName);

// A scenario name as the user typed it (UTF-8) becomes a file in the folder.
std::filesystem::path scenarioFile(const std::filesystem::path& folder, std::string_view nameUtf8);
// The file name's stem as UTF-8: the scenario's name.
std::string scenarioName(const std::filesystem::path& file);

// A name that would leave the folder or cannot be a file name: empty after
// trimming, holding "/", "\\", a control character or any of : * ? " < > |,
// "." or "..", or longer than 200 bytes.
bool isValidScenarioName(std::string_view nameUtf8);

// The order the lists show scenario names in: letter case aside, Ё after Е
// as the Russian alphabet has it, ties broken byte by byte (UTF-8 names).
bool scenarioNameLess(std::string_view a, std::string_view b);

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string pathToUtf8(const std::filesystem::path& p);

} // namespace pressmark
