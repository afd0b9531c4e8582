#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pressmark {

class MainWindow;

// The main window as data: every control with its name, kind, caption,
// place, colours, font and events. Each front end builds its widgets from
// this one table with its own toolkit, so the window looks and answers the
// same on every system; what a control does when its event fires is
// MainWindow's handler, named here.
namespace layout {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

struct Place {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(const Place&, const Place&) = default;
};

enum class Kind {
    Form,         // the window itself
    PageControl,  // the tabs over the pages
    Page,         // one tab's page; pages are in tab order
    Label,        // static text; wraps when `wrap`
    ListBox,      // single selection
    Button,       // push button with a small picture left of its caption
    GroupBox,     // a framed group with its caption in the frame
    PopupMenu,    // a context menu; its items name it as their parent
    MenuItem,     //
    SevenSegment, // digits drawn as seven segments
    TrackBar,     // horizontal slider with ticks below
    SpinEdit,     // a number edit with an up-down control
    Memo,         // multi-line edit with a vertical scroll bar
    GroupBar,     // a panel holding captioned groups
    Group,        // a group of the group bar: a gradient title bar over a pale body
    CheckBox,     // its caption wraps onto a second line when too long
    Shape,        // a plain framed rectangle filled with `back`
    Timer,        // not drawn: fires every `maximum` milliseconds while on
    TrayIcon,     // not drawn in the window
};

// How a control's background is filled.
enum class Fill {
    Inherit,     // the parent shows through
    Solid,       // `back`
    Vertical,    // `back` at the top to `backTo` at the bottom
    Box,         // `back` at the edges to `backTo` in the middle
    SystemBevel, // the system's button face to its dark shade, top to bottom
};

enum class Picture { None, Play, Stop, Delete, Record, Text, Delay, Keyboard, Proxy, Cookies };

// The events a control can forward.
enum class Event {
    Click,       // a button or menu item chosen, a list item clicked
    Change,      // a list's selection or a trackbar's value changed
    MouseUp,     // a mouse button released over the control
    KeyUp,       // a key released in the control
    ButtonClick, // the up-down control stepped the value
    Timer,       // the timer fired
};

struct Handler {
    Event event = Event::Click;
    void (MainWindow::*call)() = nullptr;
};

struct Font {
    std::string_view family; // empty: the parent's font
    int points = 0;
    bool bold = false;
};

struct Control {
    std::string_view name;
    Kind kind = Kind::Label;
    std::string_view parent;  // empty for the form
    std::string_view caption; // UTF-8
    // A width of 0: as wide as the caption.
    Place place;
    std::optional<Rgb> text; // none: the parent's text colour
    Fill fill = Fill::Inherit;
    Rgb back{};
    Rgb backTo{};
    std::optional<Rgb> frame; // a one-pixel frame in this colour
    Font font;
    Picture picture = Picture::None;
    // Pages: the tab's colour.
    Rgb tab{};
    // TrackBar, SpinEdit: the range and the tick step; Timer: its interval.
    int minimum = 0;
    int maximum = 0;
    int step = 0;
    bool wrap = false;
    bool readOnly = false;
    bool enabled = true;
    bool visible = true;
    bool stayOnTop = false;
    // The context menu shown on a right click.
    std::string_view popup;
    // Up to two events; the unused ones have no call.
    Handler events[2]{};
};

// The colours the controls' kinds share.
struct Theme {
    // Buttons: a face gradient, top to bottom, a border, and while the mouse
    // is over the button (hover) or holding it down (pressed).
    Rgb buttonFace{253, 253, 253};
    Rgb buttonFaceTo{216, 216, 216};
    Rgb buttonBorder{122, 122, 122};
    Rgb hoverFace{255, 246, 216};
    Rgb hoverFaceTo{255, 215, 122};
    Rgb hoverBorder{224, 138, 0};
    Rgb pressedFace{240, 184, 72};
    Rgb disabledFace{200, 200, 200};
    Rgb disabledText{140, 140, 140};
    Rgb disabledBorder{160, 160, 160};
    // The group bar's groups: the title bar's gradient, left to right, its
    // text, and the body's frame.
    Rgb groupTitle{44, 79, 168};
    Rgb groupTitleTo{127, 159, 224};
    Rgb groupTitleText{255, 255, 255};
    Rgb groupFrame{106, 106, 106};
    int groupTitleHeight = 18;
    // The groups' body: white over the bar, at this opacity (0..255).
    Rgb groupBody{255, 255, 255};
    int groupBodyAlpha = 150;
    // Tabs: white captions, the chosen one bold, each tab 19 px high.
    Rgb tabText{255, 255, 255};
    int tabHeight = 19;
    // The recording indicator S1.
    Rgb indicatorIdle{255, 255, 0};
    Rgb indicatorRecording{255, 0, 0};
    // The buttons' pictures: play green, stop, delete and record red, the
    // cookie brown, the others blue; all grey on a disabled button.
    Rgb picturePlay{30, 160, 40};
    Rgb pictureStop{210, 30, 30};
    Rgb pictureCookie{190, 130, 50};
    Rgb pictureOther{30, 70, 200};
    Rgb pictureDisabled{150, 150, 150};
    // How long a note such as m2Note stays up, through the key strokes after it.
    int noteMs = 4000;
};

// The controls, parents before their children, in the order the window's
// Tab key visits them.
std::span<const Control> controls();
const Theme& theme();
// The control of that name; throws std::out_of_range for an unknown one.
const Control& control(std::string_view name);
// The page a control is on (0..2), -1 for one outside the pages.
int pageOf(const Control& c);

// What a control takes from its parents when the table leaves it empty: the
// text colour and the font of the nearest control that names one, and the
// control whose fill shows behind it (itself when it has a fill of its own).
Rgb textColourOf(const Control& c);
Font fontOf(const Control& c);
const Control& filledBy(const Control& c);
// The nearest parent of that kind, null when there is none.
const Control* enclosing(const Control& c, Kind kind);
// A button picture's colour, enabled or greyed.
Rgb pictureColour(Picture picture, bool enabled);
// The context menu a right press opens at (x, y) of a control's own area,
// in the table's pixels: that of the innermost control of the table under
// the point, or of its nearest parent that has one; empty for none. A press
// anywhere within the speed group (caption, display, trackbar, margins)
// opens the group's menu.
std::string_view popupAt(std::string_view control, int x, int y);

} // namespace layout
} // namespace pressmark
