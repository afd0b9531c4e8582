#include "TForm1.h"

#include "Paint.h"
#include "TForm1Parts.h"

#include "base/win32/WideText.h"

#include <commctrl.h>

#include <string>

namespace pressmark::winui {

using formparts::backColour;
using formparts::rgb;
using formparts::textColour;
using pressmark::win32::widenUtf8;

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

} // namespace pressmark::winui
