#include "Win32TestSupport.h"

#include "platform/win32/DialogsWin32.h"

#include <fstream>

namespace pressmark::win32test {

std::wstring exeDir() {
    std::wstring path(MAX_PATH * 4, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring tempFile(const std::wstring& stem) {
    static int counter = 0;
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"pressmark-" + stem + L"-" +
           std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".txt";
}

void pump(std::chrono::milliseconds d) {
    pumpUntil([] { return false; }, d);
}

bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        Sleep(5);
    }
}

bool xdotool(const std::wstring& args, bool wait) {
    // Wine cannot wait for a Unix process it started, so a shell leaves a
    // file behind when xdotool is done.
    static int counter = 0;
    const std::wstring marker = L"/tmp/pressmark-xdotool-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++counter);
    std::wstring markerPath = L"Z:" + marker;
    for (auto& c : markerPath) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    std::wstring command = L"Z:\\bin\\sh -c \"xdotool " + args + L"; : > " + marker + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (!wait) {
        return true;
    }
    const bool done =
        pumpUntil([&] { return GetFileAttributesW(markerPath.c_str()) != INVALID_FILE_ATTRIBUTES; },
                  std::chrono::seconds(10));
    DeleteFileW(markerPath.c_str());
    return done;
}

TargetWindow::TargetWindow(const std::wstring& title, int x, int y, int width, int height)
    : m_logPath(tempFile(L"target")) {
    std::wstring command = L"\"" + exeDir() + L"pressmark_win32_target.exe\" --log \"" + m_logPath +
                           L"\" --title \"" + title + L"\" --rect " + std::to_wstring(x) + L" " +
                           std::to_wstring(y) + L" " + std::to_wstring(width) + L" " +
                           std::to_wstring(height);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &m_process)) {
        return;
    }
    pumpUntil(
        [&] {
            const auto lines = log();
            if (lines.empty() || lines.front() != "ready") {
                return false;
            }
            m_window = FindWindowW(L"PressmarkTarget", title.c_str());
            return m_window != nullptr;
        },
        std::chrono::seconds(20));
}

TargetWindow::~TargetWindow() {
    if (m_process.hProcess) {
        if (m_window) {
            PostMessageW(m_window, WM_CLOSE, 0, 0);
        }
        if (WaitForSingleObject(m_process.hProcess, 5000) != WAIT_OBJECT_0) {
            TerminateProcess(m_process.hProcess, 1);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    DeleteFileW(m_logPath.c_str());
}

POINT TargetWindow::toScreen(int cx, int cy) const {
    POINT p{cx, cy};
    ClientToScreen(m_window, &p);
    return p;
}

std::vector<std::string> TargetWindow::log() const {
    std::vector<std::string> lines;
    std::ifstream in(m_logPath.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> TargetWindow::presses() const {
    std::vector<std::string> out;
    for (const auto& line : log()) {
        if (line.rfind("down ", 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

HWND TargetWindow::edit() const {
    return FindWindowExW(m_window, nullptr, L"EDIT", nullptr);
}

std::wstring TargetWindow::editText() const {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(edit(), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK,
                        5000, &copied);
    return std::wstring(buffer, copied);
}

namespace {

std::wstring textOf(HWND w) {
    wchar_t buffer[512] = {};
    GetWindowTextW(w, buffer, 512);
    return buffer;
}

} // namespace

DialogUser::DialogUser(const wchar_t* windowClass, std::wstring caption,
                       std::function<void(HWND)> act)
    : m_thread([this, windowClass, caption = std::move(caption), act = std::move(act)] {
          using platform::win32::DialogsWin32;
          HWND w = nullptr;
          for (int i = 0; i < 2000 && !w; ++i) {
              w = FindWindowW(windowClass, caption.c_str());
              Sleep(5);
          }
          if (!w) {
              return;
          }
          Sleep(50);
          m_seen.found = true;
          if (HWND edit = GetDlgItem(w, DialogsWin32::EditId)) {
              m_seen.text = textOf(edit);
              m_seen.limit = static_cast<int>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
              m_seen.selection = static_cast<DWORD>(SendMessageW(edit, EM_GETSEL, 0, 0));
          } else {
              m_seen.text = textOf(GetDlgItem(w, 0xFFFF)); // the message box's text
          }
          for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
              if (HWND button = GetDlgItem(w, id)) {
                  m_seen.buttons.push_back(id);
                  m_seen.labels.push_back(textOf(button));
              }
          }
          act(w);
      }) {}

DialogUser::~DialogUser() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

const DialogUser::Seen& DialogUser::seen() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_seen;
}

void command(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void key(HWND window, WPARAM vk) {
    PostMessageW(window, WM_KEYDOWN, vk, 0);
    PostMessageW(window, WM_KEYUP, vk, 0);
}

} // namespace pressmark::win32test
