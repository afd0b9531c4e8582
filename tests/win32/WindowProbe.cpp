// Looks into another program's window from outside, as the Wine test of
// pressmark.exe needs:
//   pressmark_win32_probe lists TITLE   prints each list box's items, one
//                                       list a line, items joined by "|"
//   pressmark_win32_probe edits TITLE   prints each edit's text, one a line
//   pressmark_win32_probe close TITLE   posts WM_CLOSE to the window
//   pressmark_win32_probe state TITLE   prints "state: visible=V iconic=I
//                                       foreground=F" (1 or 0 each)
//   pressmark_win32_probe foreground -  prints the foreground window's title
//   pressmark_win32_probe taskbar-created TITLE
//                                       posts the shell's "TaskbarCreated"
//   pressmark_win32_probe point TITLE TEXT
//                                       prints "point: X Y", the screen centre
//                                       of the control, list item or tab that
//                                       reads TEXT, for a click by xdotool
// Exits 1 when no top-level window has that title (or nothing reads TEXT).
#include "base/win32/WideText.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

using pressmark::win32::narrowUtf8;

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
        line += (i > 0 ? "|" : "") + narrowUtf8(item);
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
        std::printf("edit: %s\n", narrowUtf8(text).c_str());
    }
    return TRUE;
}

struct Find {
    std::wstring text;
    bool found = false;
    POINT centre{};
};

std::wstring itemText(HWND list, LRESULT i) {
    std::wstring item(
        static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) + 1,
        L'\0');
    item.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                                      reinterpret_cast<LPARAM>(item.data()))));
    return item;
}

// A tab's rectangle and caption live in the other process: they are asked
// for into memory taken there.
bool tabAt(HWND tabs, const std::wstring& text, RECT& out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tabs, &pid);
    const HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) {
        return false;
    }
    constexpr SIZE_T kChars = 128;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    bool found = false;
    const auto count = SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; remote && i < count && !found; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote + 1024);
        item.cchTextMax = kChars;
        wchar_t caption[kChars]{};
        RECT r{};
        if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
            SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(remote)) &&
            ReadProcessMemory(process, remote + 1024, caption, sizeof caption, nullptr) &&
            text == caption &&
            SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(remote + 512)) &&
            ReadProcessMemory(process, remote + 512, &r, sizeof r, nullptr)) {
            MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&r), 2);
            out = r;
            found = true;
        }
    }
    if (remote) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return found;
}

BOOL CALLBACK findPoint(HWND child, LPARAM data) {
    auto& find = *reinterpret_cast<Find*>(data);
    // Only what can be clicked now: the other pages' controls are hidden.
    if (!IsWindowVisible(child)) {
        return TRUE;
    }
    wchar_t cls[32]{};
    GetClassNameW(child, cls, 32);
    RECT r{};
    if (lstrcmpiW(cls, L"ListBox") == 0) {
        const auto count = SendMessageW(child, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            // LB_GETITEMRECT is one of the messages the system carries
            // across processes.
            if (itemText(child, i) == find.text &&
                SendMessageW(child, LB_GETITEMRECT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(&r)) != LB_ERR) {
                MapWindowPoints(child, nullptr, reinterpret_cast<POINT*>(&r), 2);
                find.found = true;
            }
        }
    } else if (lstrcmpiW(cls, WC_TABCONTROLW) == 0) {
        find.found = tabAt(child, find.text, r);
    } else {
        std::wstring text(static_cast<std::size_t>(SendMessageW(child, WM_GETTEXTLENGTH, 0, 0)) + 1,
                          L'\0');
        text.resize(static_cast<std::size_t>(
            SendMessageW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        if (text == find.text) {
            GetWindowRect(child, &r);
            find.found = true;
        }
    }
    if (find.found) {
        find.centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        return FALSE;
    }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        return 2;
    }
    const std::wstring command = argv[1];
    if (command == L"foreground") {
        // Whose the keyboard is: where typed text goes.
        wchar_t name[256]{};
        GetWindowTextW(GetForegroundWindow(), name, 256);
        std::printf("foreground: %s\n", narrowUtf8(name).c_str());
        return 0;
    }
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
    } else if (command == L"state") {
        std::printf("state: visible=%d iconic=%d foreground=%d\n", IsWindowVisible(window) ? 1 : 0,
                    IsIconic(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0);
    } else if (command == L"taskbar-created") {
        // What a shell that starts anew says to every window.
        PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    } else if (command == L"point" && argc == 4) {
        Find find{argv[3]};
        EnumChildWindows(window, findPoint, reinterpret_cast<LPARAM>(&find));
        if (!find.found) {
            std::printf("nothing reads that\n");
            return 1;
        }
        std::printf("point: %ld %ld\n", static_cast<long>(find.centre.x),
                    static_cast<long>(find.centre.y));
    } else {
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
