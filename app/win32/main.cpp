// The Windows program: the Win32 backend behind the platform layer, the main
// window, and the message loop until the window is gone.
#include "SingleInstanceWin32.h"
#include "platform/win32/BackendWin32.h"
#include "scenario/ScenarioFolder.h"
#include "winui/TForm1.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

namespace {

std::optional<std::filesystem::path> envPath(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    if (!value || !*value) {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

std::filesystem::path programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

std::filesystem::path scenarioFolder() {
    pressmark::ScenarioFolderInputs in;
    in.environment = envPath(L"PRESSMARK_SCENARIOS");
    in.appDir = programFolder();
    // The per-user data folder when the program's own is not writable.
    in.xdgDataHome = envPath(L"LOCALAPPDATA");
    in.home = envPath(L"USERPROFILE");
    in.policy = pressmark::BesideProgram::WhenWritable;
    return pressmark::chooseScenarioFolder(in);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
    InitCommonControlsEx(&controls);
    try {
        // On the thread of the message loop: the hot keys' window is its.
        const auto backend = pressmark::platform::win32::makeBackend();
        backend->install();
        pressmark::app::SingleInstanceWin32 instance;
        if (instance.handOver()) {
            return 0; // the running window came forward
        }
        pressmark::winui::TForm1 form({scenarioFolder(), {}});
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
    } catch (const std::exception& error) {
        const std::string what = error.what();
        std::wstring text(what.size(), L'\0');
        text.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, what.data(), static_cast<int>(what.size()), text.data(),
                                static_cast<int>(text.size()))));
        MessageBoxW(nullptr, text.c_str(), L"Pressmark", MB_OK | MB_ICONERROR);
        return 1;
    }
}
