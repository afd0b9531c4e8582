// A Windows program for the tests to act on: a borderless window (client
// area = window rectangle) whose blank part logs every mouse press with its
// client position, and an EDIT control that logs its text after each change.
//
//   pressmark_win32_target --log FILE --title TITLE --rect X Y W H
//       log lines (UTF-8): "ready", "down L|R X Y", "text <edit text>"
//   pressmark_win32_target --appdir FILE
//       writes sf::AppDir() (UTF-8) to FILE and exits
#include "platform/Platform.h"
#include "platform/win32/BackendWin32.h"
#include "base/win32/WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using pressmark::win32::narrowUtf8;

constexpr wchar_t kClassName[] = L"PressmarkTarget";
constexpr int kEditId = 10;
constexpr int kEditHeight = 28;

FILE* g_log = nullptr;
HWND g_edit = nullptr;

void logLine(const std::string& line) {
    if (g_log) {
        std::fputs((line + "\n").c_str(), g_log);
        std::fflush(g_log);
    }
}

void logPress(char button, LPARAM lParam) {
    const POINTS p = MAKEPOINTS(lParam);
    logLine(std::string("down ") + button + " " + std::to_string(p.x) + " " + std::to_string(p.y));
}

LRESULT CALLBACK targetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        logPress('L', lParam);
        return 0;
    case WM_RBUTTONDOWN:
        logPress('R', lParam);
        return 0;
    case WM_SETFOCUS:
        // As editors do: the focus given back to the window goes on to the
        // edit box, so that typing resumes there.
        SetFocus(g_edit);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE) {
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(g_edit)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(
                GetWindowTextW(g_edit, text.data(), static_cast<int>(text.size()))));
            logLine("text " + narrowUtf8(text));
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

struct Geometry {
    int x, y, width, height;
};

int runWindow(const std::wstring& logPath, const std::wstring& title, Geometry g) {
    g_log = _wfopen(logPath.c_str(), L"ab");
    WNDCLASSW wc{};
    wc.lpfnWndProc = targetProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    const int w = g.width;
    const int h = g.height;
    HWND window = CreateWindowExW(0, kClassName, title.c_str(), WS_POPUP | WS_VISIBLE, g.x, g.y, w,
                                  h, nullptr, nullptr, wc.hInstance, nullptr);
    // The edit box sits at the bottom, leaving the rest of the window for
    // clicks.
    g_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0,
                             h - kEditHeight, w, kEditHeight, window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), wc.hInstance,
                             nullptr);
    SetForegroundWindow(window);
    SetFocus(g_edit);
    logLine("ready");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_log) {
        std::fclose(g_log);
    }
    return 0;
}

int writeAppDir(const std::wstring& outPath) {
    auto backend = pressmark::platform::win32::makeBackend();
    backend->install();
    std::ofstream(outPath.c_str(), std::ios::binary) << pressmark::sf::AppDir();
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    if (args.size() == 2 && args[0] == L"--appdir") {
        return writeAppDir(args[1]);
    }
    if (args.size() == 9 && args[0] == L"--log" && args[2] == L"--title" && args[4] == L"--rect") {
        const Geometry g{std::stoi(args[5]), std::stoi(args[6]), std::stoi(args[7]),
                         std::stoi(args[8])};
        return runWindow(args[1], args[3], g);
    }
    std::fputs("usage: pressmark_win32_target --log FILE --title TITLE --rect X Y W H\n"
               "       pressmark_win32_target --appdir FILE\n",
               stderr);
    return 2;
}
