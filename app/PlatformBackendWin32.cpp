#include "PlatformBackend.h"

#include "QtEventClock.h"
#include "platform/win32/BackendWin32.h"
#include "player/clickerPlay.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace pressmark {
namespace {

std::optional<std::filesystem::path> envPath(const wchar_t* name) {
    // The wide call: a path outside the ANSI code page survives.
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size <= 1) {
        return std::nullopt; // not set, or empty
    }
    std::wstring value(size, L'\0');
    const DWORD n = GetEnvironmentVariableW(name, value.data(), size);
    if (n == 0 || n >= size) {
        return std::nullopt;
    }
    value.resize(n);
    return std::filesystem::path(value);
}

// The console handler runs on a thread the system starts for it.
DWORD g_mainThread = 0;
std::atomic<bool> g_interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // A second Ctrl+C ends the program the ordinary way.
        if (g_interrupted.exchange(true)) {
            return FALSE;
        }
        requestStop();
        // Wakes the main thread should it be waiting for a message.
        PostThreadMessageW(g_mainThread, WM_NULL, 0, 0);
        return TRUE;
    }
    if (event == CTRL_CLOSE_EVENT) {
        // The console is closing: the process ends when this returns, so
        // give the run the time to finish its click and return, rather than
        // die between a press and its release. The system's own limit (about
        // five seconds) ends the wait in any case.
        requestStop();
        PostThreadMessageW(g_mainThread, WM_NULL, 0, 0);
        Sleep(4000);
        return TRUE;
    }
    return FALSE;
}

class InstalledWin32 final : public InstalledBackend {
public:
    InstalledWin32() : m_backend(platform::win32::makeBackend()), m_clock(m_backend->clock()) {
        m_services = m_backend->backend();
        m_services.clock = &m_clock;
        platform::install(m_services);
    }

    platform::Backend services() const override { return m_services; }
    // The Win32 services work under any desktop Qt runs on.
    QString problem(RunMode) const override { return {}; }

    void stopOnInterrupt(std::function<void()>) override {
        g_mainThread = GetCurrentThreadId();
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }

private:
    std::unique_ptr<platform::win32::BackendWin32> m_backend;
    QtEventClock m_clock;
    platform::Backend m_services;
};

} // namespace

QString prepareDisplay(RunMode mode) {
    // Started from Explorer, the program was given a console of its own that
    // the window has no use for; one shared with a command prompt stays.
    DWORD processes[2];
    if (mode == RunMode::Window && GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
    return {};
}

ScenarioFolderInputs scenarioFolderEnvironment() {
    ScenarioFolderInputs in;
    in.environment = envPath(L"PRESSMARK_SCENARIOS");
    // Per-user data: %LOCALAPPDATA%\pressmark\TH_Scenaries.
    in.xdgDataHome = envPath(L"LOCALAPPDATA");
    in.policy = BesideProgram::WhenWritable;
    return in;
}

std::unique_ptr<InstalledBackend> installPlatformBackend() {
    return std::make_unique<InstalledWin32>();
}

void showErrorReport(const QString& text, const void* owner) {
    MessageBoxW(static_cast<HWND>(const_cast<void*>(owner)),
                reinterpret_cast<const wchar_t*>(text.utf16()), L"Pressmark",
                MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
}

void showWarning(const QString& text, const void* owner) {
    MessageBoxW(static_cast<HWND>(const_cast<void*>(owner)),
                reinterpret_cast<const wchar_t*>(text.utf16()), L"Pressmark",
                MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_TOPMOST);
}

} // namespace pressmark
