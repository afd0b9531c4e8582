// The Windows program: the Win32 backend behind the platform layer, then
// either the main window and its message loop until the window is gone, or
// the command line's --list and --play, which write to the console they
// were started from.
#include "app/CommandLine.h"
#include "app/Headless.h"
#include "SingleInstanceWin32.h"
#include "platform/win32/BackendWin32.h"
#include "base/About.h"
#include "base/win32/WideText.h"
#include "player/clickerPlay.h"
#include "scenario/ScenarioFolder.h"
#include "winui/TForm1.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<std::filesystem::path> envPath(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    if (!value || !*value) {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

std::filesystem::path scenarioFolder(const pressmark::CommandLine& cl) {
    pressmark::ScenarioFolderInputs in;
    if (cl.scenarios) {
        in.commandLine = pressmark::pathFromUtf8(*cl.scenarios);
    }
    in.environment = envPath(L"PRESSMARK_SCENARIOS");
    in.appDir = pressmark::pathFromUtf8(pressmark::platform::win32::SystemWin32().executablePath())
                    .parent_path();
    // The per-user data folder when the program's own is not writable.
    in.xdgDataHome = envPath(L"LOCALAPPDATA");
    in.home = envPath(L"USERPROFILE");
    in.policy = pressmark::BesideProgram::WhenWritable;
    return pressmark::chooseScenarioFolder(in);
}

// The arguments after the program's name, as typed (UTF-16 to UTF-8).
std::vector<std::string> arguments() {
    std::vector<std::string> out;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) {
        return out;
    }
    for (int i = 1; i < count; ++i) {
        out.push_back(pressmark::win32::narrowUtf8(words[i]));
    }
    LocalFree(words);
    return out;
}

bool usable(HANDLE h) {
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

// Standard output and error as the program was started: redirected to a
// file or pipe they are used as they are (UTF-8 lines); otherwise the
// console of the command prompt that started the program, if any, in UTF-16.
// Started from Explorer there is none, and nothing is shown.
class Console {
public:
    Console() : m_out(GetStdHandle(STD_OUTPUT_HANDLE)), m_error(GetStdHandle(STD_ERROR_HANDLE)) {
        // Attached even when both are redirected: the console's Ctrl+C
        // reaches only the programs attached to it.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            for (HANDLE* h : {&m_out, &m_error}) {
                if (!usable(*h)) {
                    *h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
                }
            }
        }
    }

    pressmark::headless::Output output() {
        return {[this](const std::string& line) { write(m_out, line); },
                [this](const std::string& line) { write(m_error, line); }};
    }
    void out(const std::string& text) { write(m_out, text); }
    void error(const std::string& text) { write(m_error, text); }

private:
    static void write(HANDLE h, const std::string& line) {
        if (!usable(h)) {
            return;
        }
        DWORD done = 0;
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode)) {
            const std::wstring wide = pressmark::win32::widenUtf8(line) + L"\r\n";
            WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
        } else {
            const std::string bytes = line + "\r\n";
            WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        }
    }

    HANDLE m_out;
    HANDLE m_error;
};

// Ctrl+C and Ctrl+Break stop a run the way Alt+W does; a second one ends the
// program at once.
std::atomic<bool> g_interrupted{false};

BOOL WINAPI interrupted(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    if (g_interrupted.exchange(true)) {
        return FALSE;
    }
    pressmark::requestStop();
    return TRUE;
}

int play(const pressmark::CommandLine& cl, Console& console) {
    using namespace pressmark;
    if (headless::namedFolderMissing(cl, console.output())) {
        return ExitBadArguments;
    }
    const auto backend = platform::win32::makeBackend();
    headless::HeadlessDialogs dialogs(console.output());
    platform::Backend services = backend->backend();
    services.dialogs = &dialogs;
    platform::install(services);
    SetConsoleCtrlHandler(interrupted, TRUE);
    const int code = headless::playScenario(cl, scenarioFolder(cl), console.output());
    SetConsoleCtrlHandler(interrupted, FALSE);
    platform::install({});
    return code;
}

int runWindow(const pressmark::CommandLine& cl, int show) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
    InitCommonControlsEx(&controls);
    // On the thread of the message loop: the hot keys' window is its.
    const auto backend = pressmark::platform::win32::makeBackend();
    backend->install();
    // Before the window takes the hot keys: a second window would find them
    // all held by the first.
    pressmark::app::SingleInstanceWin32 instance;
    if (instance.handOver()) {
        return pressmark::ExitDone; // the running window came forward
    }
    pressmark::winui::TForm1 form({scenarioFolder(cl), {}});
    ShowWindow(static_cast<HWND>(const_cast<void*>(form.nativeHandle())), show);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(static_cast<HWND>(const_cast<void*>(form.nativeHandle())),
                              &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    using pressmark::CommandLine;
    const CommandLine cl = pressmark::parseCommandLine(arguments());
    try {
        if (cl.mode == CommandLine::Mode::Window) {
            return runWindow(cl, show);
        }
        Console console;
        switch (cl.mode) {
        case CommandLine::Mode::Help: {
            const std::string text = pressmark::helpText(pressmark::HelpFor::Windows);
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = text.find('\n', at);
                console.out(text.substr(at, end - at));
                at = end == std::string::npos ? text.size() : end + 1;
            }
            return pressmark::ExitDone;
        }
        case CommandLine::Mode::Version:
            console.out("pressmark " PRESSMARK_VERSION);
            return pressmark::ExitDone;
        case CommandLine::Mode::Error:
            console.error("pressmark: " + cl.error + " (see --help)");
            return pressmark::ExitBadArguments;
        case CommandLine::Mode::List:
            if (pressmark::headless::namedFolderMissing(cl, console.output())) {
                return pressmark::ExitBadArguments;
            }
            return pressmark::headless::listScenarios(scenarioFolder(cl), console.output());
        case CommandLine::Mode::Play:
            return play(cl, console);
        case CommandLine::Mode::Window:
            break;
        }
        return pressmark::ExitDone;
    } catch (const std::exception& error) {
        const std::string what = error.what();
        const std::wstring text = pressmark::win32::widenUtf8(what);
        if (cl.mode == CommandLine::Mode::Window) {
            MessageBoxW(nullptr, text.c_str(), L"Pressmark", MB_OK | MB_ICONERROR);
        } else {
            Console().error("pressmark: " + what);
        }
        return cl.mode == CommandLine::Mode::Play ? pressmark::ExitRunFailed : 1;
    }
}
