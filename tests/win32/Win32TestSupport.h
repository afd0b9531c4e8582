#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
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

// Plays the user of a dialog from another thread: waits for the window of
// the class and caption, notes what it shows, then acts on it.
class DialogUser {
public:
    struct Seen {
        bool found = false;
        std::wstring text;                // the message, or the input dialog's edit text
        std::vector<int> buttons;         // the ids among IDOK, IDCANCEL, IDYES, IDNO
        std::vector<std::wstring> labels; // their captions
        int limit = 0;                    // the edit box's limit
        DWORD selection = 0;              // EM_GETSEL of the edit box
    };

    DialogUser(const wchar_t* windowClass, std::wstring caption, std::function<void(HWND)> act);
    ~DialogUser();
    DialogUser(const DialogUser&) = delete;
    DialogUser& operator=(const DialogUser&) = delete;
    // Waits until the user is done.
    const Seen& seen();

private:
    Seen m_seen;
    std::thread m_thread;
};

// A button's command, as a click on it sends.
void command(HWND dialog, int id);
// A key pressed and released on a window, as the dialog manager sees it.
void key(HWND window, WPARAM vk);

} // namespace pressmark::win32test
