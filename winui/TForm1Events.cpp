#include "TForm1.h"

#include "TForm1Parts.h"

#include "base/win32/WideText.h"
#include "window/RepeatField.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

// The notifications: each one the table names goes to its MainWindow
// handler, from the panes' window procedure or a control's subclass.
namespace pressmark::winui {

namespace {

using formparts::backColour;
using formparts::kNoteTimer;
using formparts::rgb;
using formparts::textColour;
using pressmark::win32::narrowUtf8;

// The one character a WM_CHAR carries, a surrogate pair in two of them.
constexpr bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

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

} // namespace pressmark::winui
