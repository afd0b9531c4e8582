#include "Paint.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace pressmark::winui::paint {

namespace {

// The DC's own brush, in one colour, for the fills: no brush is made and
// deleted for each band of a gradient.
class DcBrush {
public:
    DcBrush(HDC dc, COLORREF colour) : m_dc(dc), m_old(SetDCBrushColor(dc, colour)) {}
    ~DcBrush() { SetDCBrushColor(m_dc, m_old); }
    DcBrush(const DcBrush&) = delete;
    DcBrush& operator=(const DcBrush&) = delete;
    void fill(const RECT& r, COLORREF colour) const {
        SetDCBrushColor(m_dc, colour);
        FillRect(m_dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }

private:
    HDC m_dc;
    COLORREF m_old;
};

// Selects an object into a DC for as long as it lives.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(m_dc, m_old); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A GDI object deleted when it goes out of scope.
template <typename Handle> class Owned {
public:
    explicit Owned(Handle h) : m_h(h) {}
    ~Owned() {
        if (m_h) {
            DeleteObject(m_h);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Handle get() const { return m_h; }

private:
    Handle m_h;
};

int channel(int a, int b, int t, int total) {
    return total <= 0 ? a : a + (b - a) * t / total;
}

COLORREF darker(COLORREF c, int percent) {
    const auto part = [percent](int v) { return static_cast<BYTE>(v * 100 / percent); };
    return RGB(part(GetRValue(c)), part(GetGValue(c)), part(GetBValue(c)));
}

int width(const RECT& r) {
    return r.right - r.left;
}

int height(const RECT& r) {
    return r.bottom - r.top;
}

SIZE textSize(HDC dc, std::wstring_view text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

void drawText(HDC dc, RECT r, std::wstring_view text, UINT format) {
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r,
              format | DT_SINGLELINE | DT_NOPREFIX);
}

// The font, bold or at another height.
HFONT variant(HFONT font, bool bold, int pixelHeight) {
    LOGFONTW f{};
    GetObjectW(font, sizeof f, &f);
    if (bold) {
        f.lfWeight = FW_BOLD;
    }
    if (pixelHeight > 0) {
        f.lfHeight = -pixelHeight;
    }
    return CreateFontIndirectW(&f);
}

// The pictures, 16 by 16 with their top left corner at `at`, in the shapes
// of the Qt window's and the table's colours.
void drawPicture(HDC dc, POINT at, layout::Picture picture, COLORREF c) {
    using layout::Picture;
    const auto x = [&at](int v) { return at.x + v; };
    const auto y = [&at](int v) { return at.y + v; };
    const COLORREF outline = darker(c, 160);
    const Owned<HPEN> thin(CreatePen(PS_SOLID, 1, c));
    const Owned<HPEN> edge(CreatePen(PS_SOLID, 1, outline));
    const Owned<HBRUSH> solid(CreateSolidBrush(c));
    const Selected pen(dc, edge.get());
    const Selected brush(dc, solid.get());
    const auto line = [&](int x0, int y0, int x1, int y1) {
        MoveToEx(dc, x(x0), y(y0), nullptr);
        LineTo(dc, x(x1), y(y1));
    };
    switch (picture) {
    case Picture::None:
        break;
    case Picture::Play: {
        const POINT points[] = {{x(4), y(2)}, {x(13), y(8)}, {x(4), y(14)}};
        Polygon(dc, points, 3);
        break;
    }
    case Picture::Stop:
        Rectangle(dc, x(3), y(3), x(13), y(13));
        break;
    case Picture::Delete: {
        const Owned<HPEN> wide(CreatePen(PS_SOLID, 3, c));
        const Selected use(dc, wide.get());
        line(4, 4, 12, 12);
        line(12, 4, 4, 12);
        break;
    }
    case Picture::Record:
        Ellipse(dc, x(2), y(2), x(14), y(14));
        break;
    case Picture::Text: {
        // A T: bars, crisper than wide pens.
        const DcBrush bars(dc, c);
        bars.fill({x(3), y(2), x(14), y(4)}, c);
        bars.fill({x(7), y(2), x(9), y(14)}, c);
        break;
    }
    case Picture::Delay: {
        const Selected use(dc, thin.get());
        const Selected hollow(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, x(2), y(2), x(15), y(15));
        Ellipse(dc, x(3), y(3), x(14), y(14));
        line(8, 8, 8, 4);
        line(8, 8, 11, 9);
        line(8, 9, 11, 10);
        break;
    }
    case Picture::Keyboard: {
        const Selected hollow(dc, GetStockObject(NULL_BRUSH));
        RoundRect(dc, x(1), y(4), x(16), y(14), 3, 3);
        for (int kx = 3; kx <= 12; kx += 3) {
            SetPixel(dc, x(kx), y(7), outline);
            SetPixel(dc, x(kx), y(10), outline);
        }
        break;
    }
    case Picture::Proxy: {
        const Selected use(dc, thin.get());
        const Selected hollow(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, x(2), y(2), x(15), y(15));
        Ellipse(dc, x(3), y(3), x(14), y(14));
        line(2, 8, 15, 8);
        Ellipse(dc, x(5), y(2), x(12), y(15));
        break;
    }
    case Picture::Cookies: {
        Ellipse(dc, x(2), y(2), x(14), y(14));
        const DcBrush crumbs(dc, darker(c, 220));
        const COLORREF crumb = darker(c, 220);
        crumbs.fill({x(5), y(5), x(7), y(7)}, crumb);
        crumbs.fill({x(9), y(8), x(11), y(10)}, crumb);
        crumbs.fill({x(6), y(10), x(8), y(12)}, crumb);
        break;
    }
    }
}

// The seven segments of one digit whose top left corner is at (x, y), each
// segment `length` long and a fifth of that thick, as polygons that meet at
// slanted ends.
void drawDigit(HDC dc, int x, int y, int length, std::uint8_t lit) {
    const int l = length - 1;
    const int t = std::max(1, length / 5);
    const int h = t / 2;
    const int m = length; // the middle line
    const int b = 2 * length;
    const POINT shapes[7][6] = {
        {{x, y}, {x + l, y}, {x + l - t, y + t}, {x + t, y + t}},
        {{x + l, y + 1}, {x + l, y + m - 1}, {x + l - t, y + m - 1 - h}, {x + l - t, y + 1 + t}},
        {{x + l, y + m + 1},
         {x + l, y + b - 1},
         {x + l - t, y + b - 1 - t},
         {x + l - t, y + m + 1 + h}},
        {{x, y + b}, {x + t, y + b - t}, {x + l - t, y + b - t}, {x + l, y + b}},
        {{x, y + m + 1}, {x + t, y + m + 1 + h}, {x + t, y + b - 1 - t}, {x, y + b - 1}},
        {{x, y + 1}, {x + t, y + 1 + t}, {x + t, y + m - 1 - h}, {x, y + m - 1}},
        {{x, y + m},
         {x + t, y + m - h},
         {x + l - t, y + m - h},
         {x + l, y + m},
         {x + l - t, y + m + h},
         {x + t, y + m + h}},
    };
    for (int s = 0; s < 7; ++s) {
        if (lit & (1U << s)) {
            Polygon(dc, shapes[s], s == 6 ? 6 : 4);
        }
    }
}

// The segments a character lights: bit 0 the top, then clockwise the upper
// and lower right, the bottom, the lower and upper left; bit 6 the middle.
// Anything but a digit lights none.
std::uint8_t segments(char digit) {
    static constexpr std::uint8_t lit[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                             0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    return digit >= '0' && digit <= '9' ? lit[digit - '0'] : 0;
}

} // namespace

COLORREF rgb(layout::Rgb c) {
    return RGB(c.r, c.g, c.b);
}

COLORREF mix(COLORREF a, COLORREF b, int t, int total) {
    return RGB(static_cast<BYTE>(channel(GetRValue(a), GetRValue(b), t, total)),
               static_cast<BYTE>(channel(GetGValue(a), GetGValue(b), t, total)),
               static_cast<BYTE>(channel(GetBValue(a), GetBValue(b), t, total)));
}

Fill fillOf(const layout::Control& c) {
    using layout::Fill;
    switch (c.fill) {
    case Fill::Vertical:
        return {paint::Fill::Shape::Vertical, rgb(c.back), rgb(c.backTo)};
    case Fill::Box:
        return {paint::Fill::Shape::Box, rgb(c.back), rgb(c.backTo)};
    case Fill::SystemBevel:
        return {paint::Fill::Shape::Vertical, GetSysColor(COLOR_BTNFACE),
                GetSysColor(COLOR_BTNSHADOW)};
    case Fill::Inherit:
    case Fill::Solid:
        break;
    }
    return {paint::Fill::Shape::Solid, rgb(c.back), rgb(c.back)};
}

Fill groupBody(const Fill& bar) {
    const layout::Theme& t = layout::theme();
    const COLORREF white = rgb(t.groupBody);
    return {bar.shape, mix(bar.from, white, t.groupBodyAlpha, 255),
            mix(bar.to, white, t.groupBodyAlpha, 255)};
}

void fill(HDC dc, const RECT& area, const Fill& f) {
    RECT clip{};
    if (GetClipBox(dc, &clip) == NULLREGION || !IntersectRect(&clip, &clip, &area)) {
        return;
    }
    const DcBrush brush(dc, f.from);
    switch (f.shape) {
    case Fill::Shape::Solid:
        brush.fill(clip, f.from);
        return;
    case Fill::Shape::Vertical:
    case Fill::Shape::Horizontal: {
        // One band for each run of lines of the same colour.
        const bool down = f.shape == Fill::Shape::Vertical;
        const int first = down ? area.top : area.left;
        const int total = (down ? height(area) : width(area)) - 1;
        const int from = down ? clip.top : clip.left;
        const int to = down ? clip.bottom : clip.right;
        int start = from;
        COLORREF colour = mix(f.from, f.to, from - first, total);
        for (int at = from + 1; at <= to; ++at) {
            const COLORREF next = at < to ? mix(f.from, f.to, at - first, total) : colour;
            if (at < to && next == colour) {
                continue;
            }
            brush.fill(down ? RECT{clip.left, start, clip.right, at}
                            : RECT{start, clip.top, at, clip.bottom},
                       colour);
            start = at;
            colour = next;
        }
        return;
    }
    case Fill::Shape::Box: {
        // Nested rectangles from the edge colour inwards to the middle one.
        constexpr int bands = 64;
        for (int i = 0; i < bands; ++i) {
            const int dx = width(area) / 2 * i / bands;
            const int dy = height(area) / 2 * i / bands;
            RECT band{area.left + dx, area.top + dy, area.right - dx, area.bottom - dy};
            if (IntersectRect(&band, &band, &clip)) {
                brush.fill(band, mix(f.from, f.to, i, bands - 1));
            }
        }
        return;
    }
    }
}

HBRUSH patternBrush(const Fill& f, SIZE size, HBITMAP& bitmap) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, std::max(1L, size.cx), std::max(1L, size.cy));
    {
        const Selected into(memory, bitmap);
        fill(memory, {0, 0, size.cx, size.cy}, f);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return CreatePatternBrush(bitmap);
}

void sevenSegment(HDC dc, const RECT& area, int value, int digits, COLORREF on, COLORREF back) {
    const DcBrush ground(dc, back);
    ground.fill(area, back);
    if (digits <= 0) {
        return;
    }
    // Each cell is a digit and a fifth of a digit's gap; the segments are as
    // long as both the width and the height allow.
    const int length = std::min(width(area) * 5 / (digits * 6 + 1), height(area) * 5 / 12);
    if (length < 3) {
        return;
    }
    const int advance = length * 6 / 5;
    const int left = area.left + (width(area) - digits * advance + length / 5) / 2;
    const int top = area.top + (height(area) - 2 * length) / 2;
    std::string text = std::to_string(std::max(0, value));
    if (text.size() > static_cast<std::size_t>(digits)) {
        text.erase(0, text.size() - static_cast<std::size_t>(digits));
    }
    text.insert(0, static_cast<std::size_t>(digits) - text.size(), ' ');
    const Owned<HPEN> pen(CreatePen(PS_SOLID, 1, on));
    const Owned<HBRUSH> brush(CreateSolidBrush(on));
    const Selected usePen(dc, pen.get());
    const Selected useBrush(dc, brush.get());
    for (int i = 0; i < digits; ++i) {
        drawDigit(dc, left + i * advance, top, length, segments(text[static_cast<std::size_t>(i)]));
    }
}

void button(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF text,
            layout::Picture picture, const ButtonLook& look, HBRUSH back) {
    const layout::Theme& t = layout::theme();
    FillRect(dc, &area, back);
    Fill face{Fill::Shape::Vertical, rgb(t.buttonFace), rgb(t.buttonFaceTo)};
    COLORREF border = rgb(t.buttonBorder);
    if (!look.enabled) {
        face = {Fill::Shape::Solid, rgb(t.disabledFace), rgb(t.disabledFace)};
        border = rgb(t.disabledBorder);
        text = rgb(t.disabledText);
    } else {
        if (look.hover) {
            face = {Fill::Shape::Vertical, rgb(t.hoverFace), rgb(t.hoverFaceTo)};
            border = rgb(t.hoverBorder);
        }
        if (look.pressed) {
            face = {Fill::Shape::Solid, rgb(t.pressedFace), rgb(t.pressedFace)};
        }
    }
    const RECT inside{area.left + 1, area.top + 1, area.right - 1, area.bottom - 1};
    fill(dc, inside, face);
    {
        const Owned<HPEN> pen(CreatePen(PS_SOLID, 1, border));
        const Selected usePen(dc, pen.get());
        const Selected hollow(dc, GetStockObject(NULL_BRUSH));
        RoundRect(dc, area.left, area.top, area.right, area.bottom, 5, 5);
    }

    // The picture and the caption from the left, a pixel lower while pressed.
    const int shift = look.pressed ? 1 : 0;
    const int pictureLeft = area.left + 5 + shift;
    int textLeft = area.left + 4 + shift;
    if (picture != layout::Picture::None) {
        drawPicture(dc, {pictureLeft, area.top + (height(area) - 16) / 2 + shift}, picture,
                    rgb(layout::pictureColour(picture, look.enabled)));
        textLeft = pictureLeft + 16 + 4;
    }
    const RECT room{textLeft, area.top + shift, area.right - 3, area.bottom + shift};
    // The design font was narrower than the fonts found here: a caption too
    // long for its button is set a little smaller rather than cut.
    HFONT smaller = nullptr;
    {
        const Selected measure(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        int pixels = metrics.tmHeight - metrics.tmInternalLeading;
        while (textSize(dc, caption).cx > width(room) && pixels > 6) {
            if (smaller) {
                SelectObject(dc, font);
                DeleteObject(smaller);
            }
            smaller = variant(font, false, --pixels);
            SelectObject(dc, smaller);
        }
    }
    {
        const Selected useFont(dc, smaller ? smaller : font);
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        const COLORREF oldColour = SetTextColor(dc, text);
        drawText(dc, room, caption, DT_LEFT | DT_VCENTER);
        SetTextColor(dc, oldColour);
        SetBkMode(dc, oldMode);
    }
    if (smaller) {
        DeleteObject(smaller);
    }
    if (look.focus) {
        const RECT ring{area.left + 3, area.top + 3, area.right - 3, area.bottom - 3};
        const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
        const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
        DrawFocusRect(dc, &ring);
        SetBkColor(dc, oldBack);
        SetTextColor(dc, oldText);
    }
}

void tab(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF colour,
         bool chosen) {
    const DcBrush brush(dc, colour);
    brush.fill(area, colour);
    const Owned<HFONT> bold(chosen ? variant(font, true, 0) : nullptr);
    const Selected useFont(dc, chosen ? bold.get() : font);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, rgb(layout::theme().tabText));
    drawText(dc, area, caption, DT_CENTER | DT_VCENTER);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

void group(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, HBRUSH bar,
           HBRUSH body) {
    const layout::Theme& t = layout::theme();
    FillRect(dc, &area, bar);
    const Selected useFont(dc, font);
    const SIZE size = textSize(dc, caption);
    // The title bar as wide as its caption, its gradient left to right.
    const RECT title{area.left, area.top, std::min(area.right, area.left + size.cx + 12),
                     area.top + std::min(static_cast<int>(size.cy) + 1, t.groupTitleHeight)};
    fill(dc, title, {Fill::Shape::Horizontal, rgb(t.groupTitle), rgb(t.groupTitleTo)});
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, rgb(t.groupTitleText));
    drawText(dc, {title.left + 6, title.top, title.right, title.bottom}, caption,
             DT_LEFT | DT_VCENTER);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);

    const RECT frame{area.left, area.top + t.groupTitleHeight + 2, area.right, area.bottom};
    FillRect(dc, &frame, body);
    const DcBrush line(dc, rgb(t.groupFrame));
    FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void groupBox(HDC dc, const RECT& area, std::wstring_view caption, HFONT font, COLORREF text,
              COLORREF frame, HBRUSH back) {
    FillRect(dc, &area, back);
    const Selected useFont(dc, font);
    const SIZE size = textSize(dc, caption);
    const RECT box{area.left, area.top + size.cy / 2, area.right, area.bottom};
    {
        const DcBrush line(dc, frame);
        FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    if (caption.empty()) {
        return;
    }
    // The caption interrupts the frame's top line.
    const RECT label{area.left + 6, area.top, area.left + 6 + size.cx + 4, area.top + size.cy};
    FillRect(dc, &label, back);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, text);
    drawText(dc, {label.left + 2, label.top, label.right, label.bottom}, caption, DT_LEFT | DT_TOP);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

} // namespace pressmark::winui::paint
