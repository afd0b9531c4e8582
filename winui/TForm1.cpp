#include "TForm1.h"

#include "base/win32/WideText.h"
#include "window/HelpTopics.h"
#include "window/RepeatField.h"

#include <commctrl.h>

#include <stdexcept>

namespace pressmark::winui {

namespace {

constexpr const wchar_t* kPaneClass = TForm1::WindowClass;
constexpr int kFirstId = 1000;

using pressmark::win32::widenUtf8;

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

} // namespace pressmark::winui
