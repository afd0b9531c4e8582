#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// What the Windows tests share: the target program, xdotool as a client of
// the X server that Wine draws on, and waiting while the messages of the
// test's own thread keep being handled.
namespace pressmark::win32test {

// The folder of the running test executable, with a trailing backslash.
std::wstring exeDir();
// A fresh file name in the temporary folder.
std::wstring tempFile(const std::wstring& stem);

// Handles this thread's messages for the given time.
void pump(std::chrono::milliseconds d);
// Handles messages until pred() is true or the time is up; returns pred().
bool pumpUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs xdotool (a Unix program, started through Wine) with the arguments;
// with wait, returns once it has ended (false when it did not start or end).
bool xdotool(const std::wstring& args, bool wait = true);

// The target program in a borderless window at a given screen rectangle,
// with its EDIT control along the bottom edge. The log is what the target
// received: "down L x y" (client position), "text ..." (UTF-8).
class TargetWindow {
public:
    static constexpr int EditHeight = 28;

    // The window's screen position and size.
    TargetWindow(const std::wstring& title, int x, int y, int width, int height);
    ~TargetWindow();
    TargetWindow(const TargetWindow&) = delete;
    TargetWindow& operator=(const TargetWindow&) = delete;

    bool ready() const { return m_window != nullptr; }
    HWND window() const { return m_window; }
    DWORD processId() const { return m_process.dwProcessId; }
    // A client position of the target in screen pixels.
    POINT toScreen(int cx, int cy) const;
    std::vector<std::string> log() const;
    std::vector<std::string> presses() const; // the "down" lines
    // The EDIT control's text, asked for across the process boundary.
    std::wstring editText() const;
    HWND edit() const;

private:
    std::wstring m_logPath;
    PROCESS_INFORMATION m_process{};
    HWND m_window = nullptr;
};

} // namespace pressmark::win32test
