#include "TForm1.h"

#include "TForm1Parts.h"

#include "base/win32/WideText.h"

#include <commctrl.h>

#include <algorithm>

namespace pressmark::winui {

namespace {

using formparts::kNoteTimer;
using pressmark::win32::narrowUtf8;
using pressmark::win32::widenUtf8;

// The edit and static controls break lines at "\r\n" only.
std::wstring withCrLf(std::wstring_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            out += L'\r';
        }
        out += text[i];
    }
    return out;
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

// ---------------------------------------------------------------- the view

int TForm1::speedPosition() const {
    return static_cast<int>(SendMessageW(hwnd("sc"), TBM_GETPOS, 0, 0));
}

void TForm1::showSpeedDigits(int value) {
    m_speedDigits = value;
    // Drawn as segments; the text is for what reads windows (screen readers).
    SetWindowTextW(hwnd("sd"), std::to_wstring(value).c_str());
    InvalidateRect(hwnd("sd"), nullptr, FALSE);
}

bool TForm1::minimizeOnRecord() const {
    return SendMessageW(hwnd("rt"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool TForm1::minimizeOnRun() const {
    return SendMessageW(hwnd("acst"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string TForm1::descriptionText() const {
    std::wstring text = windowText(hwnd("m2"));
    // As typed, with the line breaks the other systems use.
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    return narrowUtf8(text);
}

void TForm1::focusDescription() {
    SetFocus(hwnd("m2"));
}

void TForm1::setHotKeyText(const std::string& text) {
    SetWindowTextW(hwnd("RzLabel3"), withCrLf(widenUtf8(text)).c_str());
}

void TForm1::showDescriptionNote(const std::string& note) {
    const HWND shown = hwnd("m2Note");
    SetWindowTextW(shown, widenUtf8(note).c_str());
    SetWindowPos(shown, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | (note.empty() ? SWP_HIDEWINDOW : SWP_SHOWWINDOW));
    SetTimer(m_form, kNoteTimer, static_cast<UINT>(layout::theme().noteMs), nullptr);
}

std::string TForm1::repeatText() const {
    return narrowUtf8(windowText(hwnd("re")));
}

void TForm1::showRepeatText(const std::string& text) {
    SetWindowTextW(hwnd("re"), widenUtf8(text).c_str());
}

void TForm1::disableRecordAndRun(const std::string& why) {
    EnableWindow(hwnd("RecBtn"), FALSE);
    EnableWindow(hwnd("SStartBtn"), FALSE);
    // Said when the pointer rests on either button, as the other window does.
    if (!m_tips) {
        m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_form,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(m_tips, TTM_SETMAXTIPWIDTH, 0, px(300));
    }
    m_why = widenUtf8(why);
    for (const char* name : {"RecBtn", "SStartBtn"}) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_form;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd(name));
        tool.lpszText = m_why.data();
        SendMessageW(m_tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void TForm1::setScenarios(const std::vector<ScenarioEntry>& entries) {
    const HWND list = hwnd("Flb1");
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    m_scenarioPaths.clear();
    for (const ScenarioEntry& e : entries) {
        // In the window's order; each entry remembers its file, byte for byte.
        const LRESULT at = SendMessageW(
            list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widenUtf8(e.fileNameUtf8).c_str()));
        if (at >= 0) {
            SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at),
                         static_cast<LPARAM>(m_scenarioPaths.size()));
            m_scenarioPaths.push_back(e.file);
        }
    }
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TForm1::showFolderProblem(const std::string& problem) {
    const HWND note = hwnd("folderProblem");
    SetWindowTextW(note, widenUtf8(problem).c_str());
    ShowWindow(note, problem.empty() ? SW_HIDE : SW_SHOW);
}

int TForm1::chosenHelpTopic() const {
    const LRESULT at = SendMessageW(hwnd("lb2"), LB_GETCURSEL, 0, 0);
    return at == LB_ERR ? -1 : static_cast<int>(at);
}

void TForm1::showHelp(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i > 0 ? "\r\n" : "") + lines[i];
    }
    SetWindowTextW(hwnd("m3"), widenUtf8(text).c_str());
}

void TForm1::saveFocus() {
    m_savedFocus = GetFocus();
}

void TForm1::restoreFocus() {
    if (m_savedFocus && IsWindow(m_savedFocus) && IsWindowEnabled(m_savedFocus)) {
        SetFocus(m_savedFocus);
    }
}

bool TForm1::modifiersHeld() const {
    // The keys as they are now, not as this thread's messages last left
    // them: a hot key pressed in another program sends this thread no key
    // message at all, and with our window in front Wine kept Alt+Q's Alt
    // down here until the wait for its release gave up.
    for (const int key : {VK_MENU, VK_CONTROL, VK_SHIFT, VK_LWIN, VK_RWIN}) {
        if (GetAsyncKeyState(key) < 0) {
            return true;
        }
    }
    return false;
}

void TForm1::minimizeToTray() {
    if (m_tray) {
        m_tray->minimize();
    } else {
        ShowWindow(m_form, SW_MINIMIZE);
    }
}

void TForm1::closeLater() {
    PostMessageW(m_form, WM_CLOSE, 0, 0);
}

void TForm1::reportError(const std::string& text) {
    MessageBoxW(m_form, widenUtf8(text).c_str(), L"Pressmark", MB_OK | MB_ICONERROR);
}

std::string TForm1::findProgram(const std::string& name) const {
    std::wstring found(MAX_PATH, L'\0');
    const DWORD n = SearchPathW(nullptr, widenUtf8(name).c_str(), L".exe",
                                static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (n == 0 || n >= found.size()) {
        return {};
    }
    found.resize(n);
    return narrowUtf8(found);
}

// ---------------------------------------------------------------- window controls

void TForm1::setRecordEnabled(bool on) {
    EnableWindow(hwnd("RecBtn"), on);
}

void TForm1::setStopRecordEnabled(bool on) {
    EnableWindow(hwnd("StopRecBtn"), on);
}

void TForm1::setScenariosPageEnabled(bool on) {
    EnableWindow(hwnd("TabSheet1"), on);
}

void TForm1::setPagesEnabled(bool on) {
    EnableWindow(hwnd("pc"), on);
}

void TForm1::setIndicator(Indicator colour) {
    m_indicator = colour;
    InvalidateRect(hwnd("S1"), nullptr, TRUE);
}

void TForm1::setSamplingTimer(bool on) {
    const layout::Control& timer = layout::control("T1");
    for (const auto& [id, c] : m_ids) {
        if (c == &timer) {
            if (on) {
                SetTimer(m_form, static_cast<UINT_PTR>(id), static_cast<UINT>(timer.maximum),
                         nullptr);
            } else {
                KillTimer(m_form, static_cast<UINT_PTR>(id));
            }
        }
    }
}

std::filesystem::path TForm1::selectedScenarioPath() const {
    const HWND list = hwnd("Flb1");
    const LRESULT at = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) {
        return {};
    }
    const auto index =
        static_cast<std::size_t>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(at), 0));
    return index < m_scenarioPaths.size() ? m_scenarioPaths[index] : std::filesystem::path{};
}

void TForm1::removeSelectedScenario() {
    const HWND list = hwnd("Flb1");
    const LRESULT at = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at != LB_ERR) {
        SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(at), 0);
    }
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TForm1::setSpeed(int speed) {
    const layout::Control& c = layout::control("sc");
    const HWND bar = hwnd("sc");
    SendMessageW(bar, TBM_SETPOS, TRUE, std::clamp(speed, c.minimum, c.maximum));
    // A trackbar set from code does not notify: its Change follows as if
    // moved, so that sd shows the value.
    trackMoved(bar);
}

void TForm1::setDescription(std::string_view text) {
    SetWindowTextW(hwnd("m2"), withCrLf(widenUtf8(text)).c_str());
}

void TForm1::hideWindow() {
    ShowWindow(m_form, SW_HIDE);
}

void TForm1::showWindow() {
    // Back after an action without taking the keyboard: the text the action
    // typed may still be on its way to the program the user clicked.
    ShowWindow(m_form, SW_SHOWNA);
}

const void* TForm1::nativeHandle() const {
    return m_form;
}

} // namespace pressmark::winui
