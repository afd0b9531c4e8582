#include "DialogsWin32.h"

#include "base/win32/WideText.h"

#include "base/Cp1251.h"

#include <windows.h>

#include <algorithm>

namespace pressmark::platform::win32 {

using pressmark::win32::narrowUtf8;
using pressmark::win32::widenUtf8;
namespace {

// Posted to the input dialog to take the foreground back.
constexpr UINT kReclaim = WM_APP + 1;
// How long after it appears the input dialog takes the foreground back.
constexpr ULONGLONG kSettleMs = 1000;

struct AskState {
    HWND edit = nullptr;
    bool done = false;
    ULONGLONG settleUntil = 0; // tick count
    std::optional<std::string> answer;
};

std::wstring windowText(HWND w) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

LRESULT CALLBACK askProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<AskState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
        if (state && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            if (LOWORD(wParam) == IDOK) {
                // An answer may be stored in a scenario file, in code page
                // 1251: a character that 1251 cannot hold is refused, not
                // mangled.
                std::string text = narrowUtf8(windowText(state->edit));
                if (!cp1251::holds(text)) {
                    MessageBeep(MB_ICONWARNING);
                    SetFocus(state->edit);
                    return 0;
                }
                state->answer = std::move(text);
            }
            state->done = true;
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (!state) {
            break;
        }
        // A window manager still settling the focus after the main window
        // hid may hand it to the program clicked before, just after the
        // dialog appeared: the dialog stays in front then, but the keys go
        // elsewhere. In its first moments the dialog takes it back (a user
        // has not clicked elsewhere that soon).
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (!state->done && GetTickCount64() < state->settleUntil) {
                PostMessageW(hwnd, kReclaim, 0, 0);
            }
            break;
        }
        // Activated again, the edit box gets the keys back; by default they
        // would go to the dialog itself.
        SetFocus(state->edit);
        return 0;
    case kReclaim:
        if (state && !state->done && GetForegroundWindow() != hwnd) {
            SetForegroundWindow(hwnd);
        }
        return 0;
    case WM_CLOSE:
        if (state) {
            state->done = true;
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = askProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = DialogsWin32::AskClassName;
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

HFONT messageFont() {
    static HFONT font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            return CreateFontIndirectW(&metrics.lfMessageFont);
        }
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }();
    return font;
}

HWND child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id, RECT r) {
    HWND w = CreateWindowExW(
        cls == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, cls, text.c_str(),
        WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont()), TRUE);
    return w;
}

// The message boxes speak the window's language whatever the system's: the
// buttons say "OK", "&Yes" and "&No" on a Russian Windows too. Each box is
// caught as it is activated, and its buttons are named then.
//
// The question box has no Cancel button, and Windows then ignores Escape;
// here Escape answers No: the question box's window procedure is wrapped for
// the Cancel command that Escape sends.
thread_local HHOOK t_boxHook = nullptr;
thread_local bool t_boxIsQuestion = false;
thread_local bool t_boxCaught = false;
thread_local bool t_boxTopmost = false;
thread_local WNDPROC t_questionProc = nullptr;

LRESULT CALLBACK questionProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(hwnd, IDNO);
        return 0;
    }
    return CallWindowProcW(t_questionProc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK boxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && !t_boxCaught) {
        t_boxCaught = true;
        const HWND box = reinterpret_cast<HWND>(wParam);
        const struct {
            int id;
            const wchar_t* label;
        } labels[] = {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}, {IDYES, L"&Yes"}, {IDNO, L"&No"}};
        for (const auto& l : labels) {
            if (HWND button = GetDlgItem(box, l.id)) {
                SetWindowTextW(button, l.label);
            }
        }
        // Topmost as the flag asks, whether or not the system's box heeds
        // it; set before the box is first shown, so that a window manager
        // learns it as the box appears.
        if (t_boxTopmost) {
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        if (t_boxIsQuestion) {
            t_questionProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(questionProc)));
        }
    }
    return CallNextHookEx(t_boxHook, code, wParam, lParam);
}

int showBox(HWND owner, const std::wstring& text, const wchar_t* caption, UINT flags,
            bool question) {
    t_boxIsQuestion = question;
    t_boxCaught = false;
    t_boxTopmost = (flags & MB_TOPMOST) != 0;
    t_questionProc = nullptr;
    t_boxHook = SetWindowsHookExW(WH_CBT, boxHook, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, text.c_str(), caption, flags);
    if (t_boxHook) {
        UnhookWindowsHookEx(t_boxHook);
    }
    t_boxHook = nullptr;
    t_questionProc = nullptr;
    return answer;
}

} // namespace

bool DialogsWin32::notice(std::string_view text, int kind, const void* owner) {
    const std::wstring body = widenUtf8(text);
    // A box without an owner is modal to all of the thread's windows and
    // stays on top: the main window may stay on top of every window, and a
    // box that is not would open under it, hiding the text it asks about.
    constexpr UINT ownerless = MB_TASKMODAL | MB_TOPMOST;
    switch (kind) {
    case 0:
        showBox(static_cast<HWND>(const_cast<void*>(owner)), body, AppTitle,
                MB_OK | (owner ? 0 : ownerless), false);
        return false;
    case 1:
        showBox(nullptr, body, L"Information", MB_OK | MB_ICONINFORMATION | ownerless, false);
        return false;
    case 2:
        showBox(nullptr, body, L"Error", MB_OK | MB_ICONERROR | ownerless, false);
        return false;
    case 3:
        return showBox(nullptr, body, L"Confirm",
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1 | ownerless, true) == IDYES;
    default:
        return false;
    }
}

std::optional<std::string> DialogsWin32::askValue(std::string_view initial, std::string_view prompt,
                                                  std::string_view caption) {
    registerClassOnce();
    constexpr int margin = 12;
    constexpr int width = 380;
    constexpr int editHeight = 24;
    constexpr int buttonWidth = 88;
    constexpr int buttonHeight = 28;
    const std::wstring promptText = widenUtf8(prompt);

    // The prompt wraps at the dialog's width; measure how tall it gets.
    RECT promptRect{0, 0, width - 2 * margin, 0};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, messageFont());
    DrawTextW(dc, promptText.c_str(), -1, &promptRect, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const int promptHeight = std::max<int>(promptRect.bottom, 16);

    const int editTop = margin + promptHeight + 8;
    const int buttonsTop = editTop + editHeight + 12;
    const int clientHeight = buttonsTop + buttonHeight + margin;
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_TOPMOST;
    RECT frame{0, 0, width, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2;

    AskState state;
    HWND dialog =
        CreateWindowExW(exStyle, AskClassName, widenUtf8(caption).c_str(), style, x, y, frameWidth,
                        frameHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!dialog) {
        return std::nullopt;
    }
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    child(dialog, L"STATIC", promptText, SS_LEFT, PromptId,
          {margin, margin, width - margin, margin + promptHeight});
    state.edit = child(dialog, L"EDIT", widenUtf8(initial), WS_TABSTOP | ES_AUTOHSCROLL, EditId,
                       {margin, editTop, width - margin, editTop + editHeight});
    SendMessageW(state.edit, EM_LIMITTEXT, MaxAnswerLength, 0);
    const int okLeft = width - margin - 2 * buttonWidth - 8;
    child(dialog, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK,
          {okLeft, buttonsTop, okLeft + buttonWidth, buttonsTop + buttonHeight});
    child(dialog, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL,
          {width - margin - buttonWidth, buttonsTop, width - margin, buttonsTop + buttonHeight});

    // The answer is often typed at once into the window the user clicked
    // last (the send-text action): give it the focus back afterwards.
    const HWND previous = GetForegroundWindow();
    state.settleUntil = GetTickCount64() + kSettleMs;
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetForegroundWindow(dialog);
    SetFocus(state.edit);
    SendMessageW(state.edit, EM_SETSEL, 0, -1);

    // Our own modal loop; IsDialogMessage gives Tab, Enter (OK) and Escape
    // (Cancel) their dialog meaning.
    MSG msg;
    while (!state.done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
    DestroyWindow(dialog);
    if (previous && IsWindow(previous)) {
        SetForegroundWindow(previous);
    }
    return state.answer;
}

} // namespace pressmark::platform::win32
