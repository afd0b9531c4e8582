#include "TForm1.h"

#include "Paint.h"

#include "base/win32/WideText.h"
#include "window/HelpTopics.h"
#include "window/RepeatField.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace pressmark::winui {

namespace {

constexpr const wchar_t* kPaneClass = TForm1::WindowClass;
constexpr int kFirstId = 1000;
constexpr UINT_PTR kNoteTimer = 1; // hides m2Note; the table's timers have ids from kFirstId

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

COLORREF rgb(layout::Rgb c) {
    return RGB(c.r, c.g, c.b);
}

layout::Rgb textColour(const layout::Control& c) {
    return layout::textColourOf(c);
}

// The background a control shows; a gradient gives its first colour: the
// one behind text drawn opaque.
COLORREF backColour(const layout::Control& c) {
    const layout::Control& at = layout::filledBy(c);
    if (at.fill == layout::Fill::SystemBevel) {
        return GetSysColor(COLOR_BTNFACE);
    }
    return rgb(at.back);
}

// The events each kind of control forwards from its notifications (route,
// controlProc, paneProc): a row naming any other cannot be wired.
bool forwards(layout::Kind kind, layout::Event event) {
    using layout::Event;
    using layout::Kind;
    switch (event) {
    case Event::Click:
        return kind == Kind::Button || kind == Kind::MenuItem || kind == Kind::ListBox;
    case Event::Change:
        return kind == Kind::ListBox || kind == Kind::TrackBar;
    case Event::MouseUp:
        return kind == Kind::TrackBar;
    case Event::KeyUp:
        return kind == Kind::SpinEdit || kind == Kind::Memo || kind == Kind::ListBox ||
               kind == Kind::TrackBar || kind == Kind::Button;
    case Event::ButtonClick:
        return kind == Kind::SpinEdit;
    case Event::Timer:
        return kind == Kind::Timer;
    }
    return false;
}

// The one character a WM_CHAR carries, a surrogate pair in two of them.
constexpr bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

TForm1::TForm1(Options options)
    : m_options(std::move(options)),
      m_logic(*this, MainWindow::Options{m_options.scenarioFolder, m_options.platformProblem}) {
    build();
    m_logic.formCreate();
}

TForm1::~TForm1() {
    if (m_form && IsWindow(m_form)) {
        DestroyWindow(m_form);
    }
    for (auto& [name, menu] : m_menus) {
        DestroyMenu(menu);
    }
    for (auto& [key, font] : m_fonts) {
        DeleteObject(font);
    }
    for (auto& [colour, b] : m_brushes) {
        DeleteObject(b);
    }
    for (auto& [owner, made] : m_patterns) {
        DeleteObject(made.second);
        DeleteObject(made.first);
    }
}

HWND TForm1::hwnd(std::string_view name) const {
    const auto it = m_windows.find(name);
    return it == m_windows.end() ? nullptr : it->second;
}

HMENU TForm1::menu(std::string_view name) const {
    const auto it = m_menus.find(name);
    return it == m_menus.end() ? nullptr : it->second;
}

const layout::Control* TForm1::controlOf(HWND window) const {
    const auto it = m_controls.find(window);
    return it == m_controls.end() ? nullptr : it->second;
}

HBRUSH TForm1::brush(COLORREF colour) {
    HBRUSH& b = m_brushes[colour];
    if (!b) {
        b = CreateSolidBrush(colour);
    }
    return b;
}

HFONT TForm1::fontFor(const layout::Control& c) {
    const layout::Font f = layout::fontOf(c);
    const std::string key =
        std::string(f.family) + '/' + std::to_string(f.points) + '/' + (f.bold ? "b" : "n");
    HFONT& font = m_fonts[key];
    if (!font) {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        font =
            CreateFontW(-MulDiv(f.points, dpi, 72), 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, widenUtf8(f.family).c_str());
    }
    return font;
}

int TForm1::px(int pixelsAt96) const {
    return MulDiv(pixelsAt96, m_dpi, 96);
}

void TForm1::build() {
    HDC screen = GetDC(nullptr);
    m_dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = paneProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The program's own icon (resource 1 of the executable), else the
    // system's for a program without one.
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (!wc.hIcon) {
        wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    wc.lpszClassName = kPaneClass;
    RegisterClassExW(&wc); // fails harmlessly for a second window

    // A row whose event this front end cannot forward is a mistake in the
    // table: the window is not made, in any build.
    for (const layout::Control& c : layout::controls()) {
        for (const layout::Handler& h : c.events) {
            if (h.call && !forwards(c.kind, h.event)) {
                throw std::logic_error("no way to wire an event of " + std::string(c.name));
            }
        }
    }
    int id = kFirstId;
    for (const layout::Control& c : layout::controls()) {
        const HWND parent = c.parent.empty() ? nullptr : hwnd(c.parent);
        const HWND window = make(c, parent, id++);
        if (window) {
            m_windows.emplace(std::string(c.name), window);
            m_controls[window] = &c;
        }
    }
    // The help topics are the window's own texts, not the table's.
    for (const HelpTopic& topic : helpTopics()) {
        SendMessageW(hwnd("lb2"), LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(widenUtf8(topic.title).c_str()));
    }
    showPage(0);
}

HWND TForm1::make(const layout::Control& c, HWND parent, int id) {
    using layout::Kind;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring caption = widenUtf8(c.caption);
    const auto idMenu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.visible ? WS_VISIBLE : 0U) |
                  (c.enabled ? 0U : static_cast<DWORD>(WS_DISABLED));
    const wchar_t* cls = nullptr;
    bool pane = false;
    // The table's places are at 96 dots per inch; the fonts follow the
    // screen's, so do the places.
    RECT at{px(c.place.x), px(c.place.y), px(c.place.x + c.place.width),
            px(c.place.y + c.place.height)};

    switch (c.kind) {
    case Kind::Form: {
        const DWORD formStyle =
            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        const DWORD ex = c.stayOnTop ? static_cast<DWORD>(WS_EX_TOPMOST) : 0U;
        // The table gives the client area; the frame comes around it.
        AdjustWindowRectEx(&at, formStyle, FALSE, ex);
        m_form = CreateWindowExW(ex, kPaneClass, caption.c_str(), formStyle, px(c.place.x),
                                 px(c.place.y), at.right - at.left, at.bottom - at.top, nullptr,
                                 nullptr, instance, this);
        if (!m_form) {
            throw std::runtime_error("the main window cannot be created");
        }
        SendMessageW(m_form, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c)), FALSE);
        return m_form;
    }
    case Kind::PageControl:
        cls = WC_TABCONTROLW;
        style |= WS_CLIPCHILDREN | WS_TABSTOP | TCS_OWNERDRAWFIXED;
        break;
    case Kind::Page: {
        const int index = static_cast<int>(m_pages.size());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(caption.c_str());
        SendMessageW(parent, TCM_INSERTITEMW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
        GetClientRect(parent, &at);
        SendMessageW(parent, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&at));
        cls = kPaneClass;
        pane = true;
        style = (style & ~static_cast<DWORD>(WS_VISIBLE)) | WS_CLIPCHILDREN;
        break;
    }
    case Kind::Label:
        cls = L"STATIC";
        style |= SS_NOPREFIX | (c.wrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
        break;
    case Kind::ListBox:
        cls = L"LISTBOX";
        style |= WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        // No LBS_SORT: the lists keep the order the window gives them.
        break;
    case Kind::Button:
        cls = L"BUTTON";
        style |= BS_OWNERDRAW | WS_TABSTOP;
        break;
    case Kind::GroupBox:
    case Kind::Group:
        cls = L"BUTTON";
        style |= BS_GROUPBOX | WS_CLIPCHILDREN; // painted whole in paintGroup
        break;
    case Kind::PopupMenu:
        m_menus[std::string(c.name)] = CreatePopupMenu();
        return nullptr;
    case Kind::MenuItem:
        AppendMenuW(m_menus.at(std::string(c.parent)), MF_STRING, static_cast<UINT_PTR>(id),
                    caption.c_str());
        m_ids[id] = &c;
        return nullptr;
    case Kind::SevenSegment:
        cls = L"STATIC";
        style |= SS_OWNERDRAW;
        break;
    case Kind::TrackBar:
        cls = TRACKBAR_CLASSW;
        style |= WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS;
        break;
    case Kind::SpinEdit:
        // Signs may be typed (the value is limited when read), so no ES_NUMBER.
        cls = L"EDIT";
        style |= WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        break;
    case Kind::Memo:
        cls = L"EDIT";
        style |= WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                 ES_WANTRETURN | (c.readOnly ? static_cast<DWORD>(ES_READONLY) : 0U);
        break;
    case Kind::GroupBar:
        cls = kPaneClass;
        pane = true;
        style |= WS_CLIPCHILDREN;
        break;
    case Kind::CheckBox:
        cls = L"BUTTON";
        style |= BS_AUTOCHECKBOX | BS_MULTILINE | BS_TOP | WS_TABSTOP;
        break;
    case Kind::Shape:
        cls = L"STATIC";
        style |= c.frame ? static_cast<DWORD>(WS_BORDER) : 0U;
        break;
    case Kind::Timer:
        m_ids[id] = &c;
        return nullptr;
    case Kind::TrayIcon:
        if (m_options.trayIcon) {
            m_tray = std::make_unique<Tray>(m_form, caption);
        }
        return nullptr;
    }

    const HFONT font = fontFor(c);
    if (c.place.width == 0 && c.kind != Kind::Page) {
        // As wide as the caption.
        HDC dc = GetDC(nullptr);
        const HGDIOBJ old = SelectObject(dc, font);
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        at.right = at.left + size.cx + 2;
    }
    // The Tab key goes into the pages and groups too.
    const bool holds =
        pane || c.kind == Kind::PageControl || c.kind == Kind::GroupBox || c.kind == Kind::Group;
    const HWND window =
        CreateWindowExW(holds ? static_cast<DWORD>(WS_EX_CONTROLPARENT) : 0U, cls, caption.c_str(),
                        style, at.left, at.top, at.right - at.left, at.bottom - at.top, parent,
                        idMenu, instance, pane ? this : nullptr);
    if (!window) {
        throw std::runtime_error("the control " + std::string(c.name) + " cannot be created");
    }
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!pane) {
        SetWindowSubclass(window, controlProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    if (c.kind == Kind::Page) {
        m_pages.push_back(window);
    } else if (c.kind == Kind::PageControl) {
        // Before the pages are placed in it: the tabs' height sets theirs.
        SendMessageW(window, TCM_SETITEMSIZE, 0, MAKELPARAM(0, px(layout::theme().tabHeight)));
        SendMessageW(window, TCM_SETPADDING, 0, MAKELPARAM(8, 3)); // room for the bold caption
    } else if (c.kind == Kind::TrackBar) {
        SendMessageW(window, TBM_SETRANGEMIN, FALSE, c.minimum);
        SendMessageW(window, TBM_SETRANGEMAX, FALSE, c.maximum);
        SendMessageW(window, TBM_SETTICFREQ, static_cast<WPARAM>(c.step), 0);
        SendMessageW(window, TBM_SETPOS, TRUE, c.minimum);
        m_positions[window] = c.minimum;
    } else if (c.kind == Kind::SpinEdit) {
        const HWND upDown = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                                            WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                                UDS_NOTHOUSANDS,
                                            0, 0, 0, 0, parent, nullptr, instance, nullptr);
        SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(window), 0);
        SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(c.minimum), c.maximum);
        // The text is the window's to set (UDN_DELTAPOS): no UDS_SETBUDDYINT.
        SetWindowTextW(window, widenUtf8(repeatfield::shown(c.minimum)).c_str());
        m_controls[upDown] = &c;
        m_upDowns[window] = upDown;
    }
    return window;
}

void TForm1::showPage(int index) {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        ShowWindow(m_pages[i], static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
    }
}

void TForm1::fire(const layout::Control& c, std::initializer_list<layout::Event> events) {
    // One notification may stand for two events of the same handler (lb2's
    // Change and Click): each handler runs once.
    std::vector<void (MainWindow::*)()> called;
    for (const layout::Event e : events) {
        for (const layout::Handler& h : c.events) {
            if (!h.call || h.event != e ||
                std::find(called.begin(), called.end(), h.call) != called.end()) {
                continue;
            }
            called.push_back(h.call);
            try {
                (m_logic.*h.call)();
            } catch (const std::exception& error) {
                // Nothing may leave a window procedure.
                reportError(error.what());
            }
        }
    }
}

void TForm1::trackMoved(HWND bar) {
    const layout::Control* c = controlOf(bar);
    const int position = static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0));
    int& last = m_positions[bar];
    if (c && position != last) {
        last = position;
        fire(*c, {layout::Event::Change});
    }
}

bool TForm1::route(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    using layout::Event;
    using layout::Kind;
    switch (message) {
    case WM_COMMAND: {
        const auto from = reinterpret_cast<HWND>(l);
        if (!from) {
            const auto it = m_ids.find(LOWORD(w));
            if (it == m_ids.end()) {
                return false;
            }
            fire(*it->second, {Event::Click});
            return true;
        }
        const layout::Control* c = controlOf(from);
        if (!c) {
            return false;
        }
        if (HIWORD(w) == BN_CLICKED && c->kind == Kind::Button) {
            fire(*c, {Event::Click});
        } else if (HIWORD(w) == LBN_SELCHANGE && c->kind == Kind::ListBox) {
            fire(*c, {Event::Change, Event::Click});
        } else {
            return false;
        }
        result = 0;
        return true;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(l);
        if (header->code == TCN_SELCHANGE) {
            showPage(static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
            return true;
        }
        const layout::Control* c = controlOf(header->hwndFrom);
        if (header->code == UDN_DELTAPOS && c && c->kind == Kind::SpinEdit) {
            // The step by the window's rule, whatever the up-down's own
            // position and acceleration; the up-down changes nothing itself.
            const int delta = reinterpret_cast<const NMUPDOWN*>(l)->iDelta;
            using repeatfield::Step;
            stepRepeat(repeatfield::delta(delta > 0 ? Step::Up : Step::Down, false));
            fire(*c, {Event::ButtonClick});
            result = TRUE;
            return true;
        }
        return false;
    }
    case WM_HSCROLL: {
        const auto bar = reinterpret_cast<HWND>(l);
        const layout::Control* c = controlOf(bar);
        if (!c || c->kind != Kind::TrackBar) {
            return false;
        }
        trackMoved(bar);
        // A drag ends with TB_THUMBPOSITION then TB_ENDTRACK, a key with
        // TB_ENDTRACK alone: one release, one MouseUp.
        if (LOWORD(w) == TB_ENDTRACK) {
            fire(*c, {Event::MouseUp});
        }
        result = 0;
        return true;
    }
    case WM_VSCROLL: {
        // Sent after every up-down step, which UDN_DELTAPOS has handled.
        const layout::Control* c = controlOf(reinterpret_cast<HWND>(l));
        if (!c || c->kind != Kind::SpinEdit) {
            return false;
        }
        result = 0;
        return true;
    }
    case WM_CONTEXTMENU: {
        // The menu the window's rule gives for the place pressed, whichever
        // window of it got the press (a group box and a static let it through
        // to what lies under them).
        const auto from = reinterpret_cast<HWND>(w);
        const layout::Control* c = controlOf(from);
        if (!c) {
            return false;
        }
        POINT p{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        if (l == -1) {
            RECT r{};
            GetWindowRect(from, &r);
            p = {r.left, r.top};
        }
        POINT inside = p;
        ScreenToClient(from, &inside);
        const auto menu = m_menus.find(
            layout::popupAt(c->name, MulDiv(inside.x, 96, m_dpi), MulDiv(inside.y, 96, m_dpi)));
        if (menu == m_menus.end()) {
            return false;
        }
        TrackPopupMenu(menu->second, TPM_LEFTALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, m_form, nullptr);
        result = 0;
        return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const auto from = reinterpret_cast<HWND>(l);
        const layout::Control* c = controlOf(from);
        if (!c) {
            return false;
        }
        const auto dc = reinterpret_cast<HDC>(w);
        if (c->kind == Kind::Memo) {
            // A read-only memo asks as a static: it keeps the edit's white.
            SetTextColor(dc, rgb(textColour(*c)));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            return true;
        }
        COLORREF back = backColour(*c);
        if (c->kind == Kind::Shape) {
            const layout::Theme& t = layout::theme();
            back = rgb(m_indicator == Indicator::Red ? t.indicatorRecording : t.indicatorIdle);
        }
        SetTextColor(dc, rgb(textColour(*c)));
        SetBkColor(dc, back);
        SetBkMode(dc, TRANSPARENT);
        // Over a gradient the control fills with the gradient itself.
        result = reinterpret_cast<LRESULT>(c->kind == Kind::Shape ? brush(back)
                                                                  : backgroundBrush(from, dc));
        return true;
    }
    case WM_DRAWITEM:
        if (!drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(l))) {
            return false;
        }
        result = TRUE;
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK TForm1::paneProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, w, l);
    }
    LRESULT result = 0;
    if (window == self->m_form && self->m_tray && self->m_tray->handle(message, w, l, result)) {
        return result;
    }
    if (self->route(message, w, l, result)) {
        return result;
    }
    switch (message) {
    case WM_ERASEBKGND: {
        const layout::Control* c = self->controlOf(window);
        if (!c) {
            break;
        }
        RECT area{};
        GetClientRect(window, &area);
        const auto dc = reinterpret_cast<HDC>(w);
        FillRect(dc, &area, self->backgroundBrush(window, dc));
        return 1;
    }
    case WM_TIMER: {
        if (window == self->m_form && w == kNoteTimer) {
            KillTimer(window, kNoteTimer);
            ShowWindow(self->hwnd("m2Note"), SW_HIDE);
            return 0;
        }
        const auto it = self->m_ids.find(static_cast<int>(w));
        if (it != self->m_ids.end()) {
            self->fire(*it->second, {layout::Event::Timer});
            return 0;
        }
        break;
    }
    case WM_CLOSE:
        if (window == self->m_form) {
            if (self->m_logic.closeRequested()) {
                DestroyWindow(window);
            }
            return 0;
        }
        break;
    case WM_DESTROY:
        if (window == self->m_form) {
            self->m_form = nullptr;
            PostQuitMessage(0);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK TForm1::controlProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR /*id*/,
                                     DWORD_PTR data) {
    auto* self = reinterpret_cast<TForm1*>(data);
    LRESULT result = 0;
    // Groups and the page control hold controls too: their children's
    // notifications are handled as the pages' are.
    if (self->route(message, w, l, result)) {
        return result;
    }
    const layout::Control* c = self->controlOf(window);
    if (c && self->lookMessage(window, *c, message, w, result)) {
        return result;
    }
    if (c && message == WM_KEYUP) {
        self->fire(*c, {layout::Event::KeyUp});
    } else if (c && c->kind == layout::Kind::Memo && !c->readOnly &&
               (message == WM_CHAR || message == WM_PASTE)) {
        if (!self->memoInput(message, w)) {
            MessageBeep(MB_OK);
            return 0;
        }
    } else if (c && c->kind == layout::Kind::SpinEdit && window == self->hwnd(c->name)) {
        using repeatfield::Step;
        const bool control = GetKeyState(VK_CONTROL) < 0;
        int delta = 0;
        if (message == WM_KEYDOWN && (w == VK_PRIOR || w == VK_NEXT)) {
            delta = repeatfield::delta(w == VK_PRIOR ? Step::PageUp : Step::PageDown, control);
        } else if (message == WM_MOUSEWHEEL) {
            const int notches = GET_WHEEL_DELTA_WPARAM(w) / WHEEL_DELTA;
            delta = notches * repeatfield::delta(Step::WheelUp, control);
        }
        if (delta != 0) {
            self->stepRepeat(delta);
            self->fire(*c, {layout::Event::ButtonClick});
            return 0;
        }
    }
    return DefSubclassProc(window, message, w, l);
}

// ---------------------------------------------------------------- the look

HBRUSH TForm1::pattern(const layout::Control& owner, bool groupBody) {
    auto& made = m_patterns[{&owner, groupBody}];
    if (!made.second) {
        RECT area{};
        GetClientRect(hwnd(owner.name), &area);
        const paint::Fill f = paint::fillOf(owner);
        made.second = paint::patternBrush(groupBody ? paint::groupBody(f) : f,
                                          {area.right, area.bottom}, made.first);
    }
    return made.second;
}

HBRUSH TForm1::backgroundBrush(HWND window, HDC dc) {
    using layout::Kind;
    const layout::Control* at = controlOf(window);
    if (!at) {
        return GetSysColorBrush(COLOR_BTNFACE);
    }
    // What stands in a list shows the list's white; the groups' children
    // stand on the groups' body over the bar's fill.
    if (layout::enclosing(*at, Kind::ListBox) || layout::enclosing(*at, Kind::Memo)) {
        return GetSysColorBrush(COLOR_WINDOW);
    }
    const bool body = layout::enclosing(*at, Kind::Group) != nullptr;
    at = &layout::filledBy(*at);
    if (paint::fillOf(*at).shape == paint::Fill::Shape::Solid) {
        return brush(backColour(*at));
    }
    POINT offset{0, 0};
    MapWindowPoints(window, hwnd(at->name), &offset, 1);
    SetBrushOrgEx(dc, -offset.x, -offset.y, nullptr);
    return pattern(*at, body);
}

bool TForm1::drawItem(const DRAWITEMSTRUCT& item) {
    using layout::Kind;
    const layout::Control* c = controlOf(item.hwndItem);
    if (!c) {
        return false;
    }
    const RECT& area = item.rcItem;
    if (c->kind == Kind::PageControl) {
        const auto index = static_cast<std::size_t>(item.itemID);
        const layout::Control* page = index < m_pages.size() ? controlOf(m_pages[index]) : nullptr;
        if (!page) {
            return false;
        }
        paint::tab(item.hDC, area, widenUtf8(page->caption), fontFor(*c), rgb(page->tab),
                   (item.itemState & ODS_SELECTED) != 0);
        if (item.itemState & ODS_FOCUS) {
            RECT ring = area;
            InflateRect(&ring, -2, -2);
            DrawFocusRect(item.hDC, &ring);
        }
        return true;
    }
    if (c->kind != Kind::Button && c->kind != Kind::SevenSegment) {
        return false;
    }
    // Drawn off screen first: a button under the pointer or a number that
    // follows the trackbar does not flicker.
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const HDC memory = CreateCompatibleDC(item.hDC);
    const HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const RECT inside{0, 0, width, height};
    if (c->kind == Kind::SevenSegment) {
        paint::sevenSegment(memory, inside, m_speedDigits,
                            static_cast<int>(std::to_string(c->maximum).size()),
                            rgb(textColour(*c)), rgb(c->back));
    } else {
        POINT pointer{};
        GetCursorPos(&pointer);
        RECT onScreen{};
        GetWindowRect(item.hwndItem, &onScreen);
        paint::ButtonLook look;
        look.enabled = (item.itemState & ODS_DISABLED) == 0;
        look.pressed = (item.itemState & ODS_SELECTED) != 0;
        look.hover = item.hwndItem == m_hot && PtInRect(&onScreen, pointer);
        look.focus = (item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0;
        paint::button(memory, inside, widenUtf8(c->caption), fontFor(*c), rgb(textColour(*c)),
                      c->picture, look, backgroundBrush(item.hwndItem, memory));
    }
    BitBlt(item.hDC, area.left, area.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return true;
}

void TForm1::paintGroup(HWND window, const layout::Control& c) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(window, &ps);
    RECT area{};
    GetClientRect(window, &area);
    const HBRUSH back = backgroundBrush(window, dc);
    if (c.kind == layout::Kind::Group) {
        // The body's brush lines up with the bar's: the same origin.
        paint::group(dc, area, widenUtf8(c.caption), fontFor(c), back,
                     pattern(layout::control(c.parent), true));
    } else {
        paint::groupBox(dc, area, widenUtf8(c.caption), fontFor(c), rgb(textColour(c)),
                        rgb(c.frame.value_or(textColour(c))), back);
    }
    EndPaint(window, &ps);
}

bool TForm1::lookMessage(HWND window, const layout::Control& c, UINT message, WPARAM& w,
                         LRESULT& result) {
    using layout::Kind;
    if (c.kind == Kind::Group || c.kind == Kind::GroupBox) {
        switch (message) {
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT:
            paintGroup(window, c);
            result = 0;
            return true;
        case WM_ENABLE:
        case WM_SETTEXT:
        case WM_UPDATEUISTATE:
            // The button class draws a group box at once on these, outside
            // WM_PAINT: it is painted again as the table's.
            InvalidateRect(window, nullptr, FALSE);
            return false;
        default:
            return false;
        }
    }
    if (c.kind == Kind::PageControl && (message == WM_ERASEBKGND || message == WM_PAINT)) {
        // The tab control frames owner-drawn tabs in 3D edges of its own
        // after they are drawn: the strip is painted here, each tab by
        // drawItem as WM_DRAWITEM would, flat and a little apart, over the
        // page control's own colour.
        if (message == WM_PAINT) {
            PAINTSTRUCT ps{};
            const HDC dc = BeginPaint(window, &ps);
            RECT area{};
            GetClientRect(window, &area);
            FillRect(dc, &area, brush(backColour(c)));
            const auto chosen = static_cast<UINT>(SendMessageW(window, TCM_GETCURSEL, 0, 0));
            for (UINT i = 0; i < m_pages.size(); ++i) {
                DRAWITEMSTRUCT item{};
                item.CtlType = ODT_TAB;
                item.itemID = i;
                item.itemAction = ODA_DRAWENTIRE;
                item.itemState =
                    i != chosen ? 0U : ODS_SELECTED | (GetFocus() == window ? ODS_FOCUS : 0U);
                item.hwndItem = window;
                item.hDC = dc;
                SendMessageW(window, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item.rcItem));
                item.rcItem.right -= 2;
                drawItem(item);
            }
            EndPaint(window, &ps);
        }
        result = message == WM_ERASEBKGND ? 1 : 0;
        return true;
    }
    if (c.kind != Kind::Button) {
        return false;
    }
    switch (message) {
    case WM_MOUSEMOVE:
        if (m_hot != window) {
            if (m_hot) {
                InvalidateRect(m_hot, nullptr, FALSE);
            }
            m_hot = window;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            InvalidateRect(window, nullptr, FALSE);
        }
        return false;
    case WM_MOUSELEAVE:
        if (m_hot == window) {
            m_hot = nullptr;
            InvalidateRect(window, nullptr, FALSE);
        }
        return false;
    case WM_GETDLGCODE:
        // An owner-drawn button tells the dialog keys only that it is a
        // button; as a push button does, the focused one takes Enter (the
        // dialog keys send its BN_CLICKED).
        result = DLGC_BUTTON | (GetFocus() == window ? DLGC_DEFPUSHBUTTON : 0);
        return true;
    case BM_SETSTYLE:
        // Moving the focus makes a push button the default one by giving it
        // that style: the button stays owner-drawn.
        w = (w & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
        return false;
    default:
        return false;
    }
}

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

bool TForm1::memoInput(UINT message, WPARAM w) {
    std::wstring in;
    if (message == WM_PASTE) {
        if (!OpenClipboard(m_form)) {
            return true;
        }
        if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                in = text;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    } else {
        const auto unit = static_cast<wchar_t>(w);
        if (unit < L' ') {
            return true; // Backspace, Enter and the other control keys
        }
        if (isHighSurrogate(unit)) {
            m_highSurrogate = unit; // judged with its second half
            return false;
        }
        if (m_highSurrogate) {
            in += m_highSurrogate;
            m_highSurrogate = 0;
        }
        in += unit;
    }
    return in.empty() || m_logic.descriptionInput(narrowUtf8(in));
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
