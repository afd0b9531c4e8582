// Looks into another program's window from outside, as the Wine test of
// pressmark.exe needs:
//   pressmark_win32_probe lists TITLE   prints each list box's items, one
//                                       list a line, items joined by "|"
//   pressmark_win32_probe edits TITLE   prints each edit's text, one a line
//   pressmark_win32_probe close TITLE   posts WM_CLOSE to the window
// Exits 1 when no top-level window has that title.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string narrow(const std::wstring& text) {
    std::string out(text.size() * 4, '\0');
    out.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

BOOL CALLBACK printList(HWND child, LPARAM) {
    wchar_t cls[32]{};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"ListBox") != 0) {
        return TRUE;
    }
    std::string line;
    const auto count = SendMessageW(child, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(
                              SendMessageW(child, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) +
                              1,
                          L'\0');
        item.resize(static_cast<std::size_t>(SendMessageW(child, LB_GETTEXT, static_cast<WPARAM>(i),
                                                          reinterpret_cast<LPARAM>(item.data()))));
        line += (i > 0 ? "|" : "") + narrow(item);
    }
    std::printf("list: %s\n", line.c_str());
    return TRUE;
}

BOOL CALLBACK printEdit(HWND child, LPARAM) {
    wchar_t cls[32]{};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Edit") == 0) {
        // WM_GETTEXT itself: GetWindowText does not ask another process's
        // edit for its text.
        std::wstring text(static_cast<std::size_t>(SendMessageW(child, WM_GETTEXTLENGTH, 0, 0)) + 1,
                          L'\0');
        text.resize(static_cast<std::size_t>(
            SendMessageW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        std::printf("edit: %s\n", narrow(text).c_str());
    }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::wstring command = argv[1];
    const HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    if (command == L"lists") {
        EnumChildWindows(window, printList, 0);
    } else if (command == L"edits") {
        EnumChildWindows(window, printEdit, 0);
    } else if (command == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
