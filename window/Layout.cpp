#include "Layout.h"

#include "MainWindow.h"

#include "base/About.h"

#include <stdexcept>
#include <string>

namespace pressmark::layout {

namespace {

constexpr std::string_view kSans = "MS Sans Serif";
constexpr Font kPlain{kSans, 8, false};
constexpr Font kBold{kSans, 8, true};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kBlue{0, 0, 255};

using M = MainWindow;

// Each control names only what differs from the defaults; GCC 12 still asks
// for every field of a designated initializer.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
// clang-format off
const Control kControls[] = {
    {.name = "Form1", .kind = Kind::Form, .caption = "Pressmark v " PRESSMARK_VERSION "   ",
     .place = {258, 97, 427, 400}, .text = kBlue, .fill = Fill::Solid, .back = kBlack,
     .font = kPlain, .stayOnTop = true},
    {.name = "pc", .kind = Kind::PageControl, .parent = "Form1", .place = {0, 0, 427, 400},
     .fill = Fill::Solid, .back = kBlack},

    // The scenarios page.
    {.name = "TabSheet1", .kind = Kind::Page, .parent = "pc", .caption = "Сценарии",
     .text = kBlue, .fill = Fill::Box, .back = {0, 0, 129}, .backTo = kBlack, .font = kBold,
     .tab = {31, 63, 171}},
    {.name = "Label2", .kind = Kind::Label, .parent = "TabSheet1",
     .caption = "Доступные сценарии:", .place = {8, 8, 0, 16}, .text = Rgb{106, 106, 255},
     .font = {"Times New Roman", 10, true}},
    {.name = "Flb1", .kind = Kind::ListBox, .parent = "TabSheet1", .place = {8, 24, 145, 345},
     .font = kPlain, .events = {{Event::Change, &M::Flb1Change}}},
    // Shown over the list, instead of entries, when the folder cannot be read.
    {.name = "folderProblem", .kind = Kind::Label, .parent = "Flb1", .place = {6, 6, 133, 200},
     .text = Rgb{180, 0, 0}, .wrap = true, .visible = false},
    {.name = "SStartBtn", .kind = Kind::Button, .parent = "TabSheet1",
     .caption = "Выполнить сценарий", .place = {160, 24, 161, 25}, .font = kBold,
     .picture = Picture::Play, .events = {{Event::Click, &M::SStartBtnClick}}},
    {.name = "SStopBtn", .kind = Kind::Button, .parent = "TabSheet1", .caption = "Стоп",
     .place = {328, 24, 81, 25}, .font = kBold, .picture = Picture::Stop,
     .events = {{Event::Click, &M::SStopBtnClick}}},
    {.name = "SDelBtn", .kind = Kind::Button, .parent = "TabSheet1", .caption = "Удалить",
     .place = {160, 56, 113, 25}, .font = kBold, .picture = Picture::Delete,
     .events = {{Event::Click, &M::SDelBtnClick}}},
    {.name = "RzGroupBox1", .kind = Kind::GroupBox, .parent = "TabSheet1", .caption = "Скорость",
     .place = {288, 56, 129, 89}, .frame = Rgb{80, 80, 200}, .popup = "PopupMenu1"},
    {.name = "PopupMenu1", .kind = Kind::PopupMenu, .parent = "Form1"},
    {.name = "N1", .kind = Kind::MenuItem, .parent = "PopupMenu1",
     .caption = "Настроить скорость", .events = {{Event::Click, &M::N1Click}}},
    {.name = "N2", .kind = Kind::MenuItem, .parent = "PopupMenu1",
     .caption = "Настроить задержку", .events = {{Event::Click, &M::N2Click}}},
    {.name = "sd", .kind = Kind::SevenSegment, .parent = "RzGroupBox1",
     .place = {8, 24, 113, 25}, .text = Rgb{0, 255, 0}, .fill = Fill::Solid, .back = kBlack,
     .maximum = 99999},
    {.name = "sc", .kind = Kind::TrackBar, .parent = "RzGroupBox1", .place = {0, 48, 129, 33},
     .minimum = 0, .maximum = 10000, .step = 20,
     .events = {{Event::Change, &M::scChange}, {Event::MouseUp, &M::scMouseUp}}},
    {.name = "RzLabel1", .kind = Kind::Label, .parent = "TabSheet1",
     .caption = "Повторов сценария:", .place = {168, 88, 62, 26}, .wrap = true},
    {.name = "re", .kind = Kind::SpinEdit, .parent = "TabSheet1", .place = {216, 120, 49, 21},
     .font = kPlain, .minimum = 1, .maximum = 100, .step = 1,
     .events = {{Event::KeyUp, &M::reKeyUp}, {Event::ButtonClick, &M::reButtonClick}}},
    {.name = "RzLabel2", .kind = Kind::Label, .parent = "TabSheet1", .caption = "Описание:",
     .place = {160, 152, 0, 13}},
    {.name = "m2", .kind = Kind::Memo, .parent = "TabSheet1", .place = {160, 168, 257, 201},
     .font = kPlain, .events = {{Event::KeyUp, &M::m2KeyUp}}},
    // Along the memo's foot, over it: why a character was refused as typed.
    {.name = "m2Note", .kind = Kind::Label, .parent = "TabSheet1", .place = {162, 337, 236, 30},
     .text = Rgb{176, 0, 0}, .fill = Fill::Solid, .back = {255, 255, 225}, .font = kPlain,
     .wrap = true, .visible = false},

    // The recording page.
    {.name = "TabRec", .kind = Kind::Page, .parent = "pc", .caption = "Запись сценария",
     .text = kBlack, .fill = Fill::Vertical, .back = kBlack, .backTo = kBlue, .font = kPlain,
     .tab = {202, 100, 32}},
    {.name = "RzGroupBar1", .kind = Kind::GroupBar, .parent = "TabRec",
     .place = {0, 0, 193, 377}, .fill = Fill::SystemBevel},
    {.name = "RzGroup1", .kind = Kind::Group, .parent = "RzGroupBar1",
     .caption = "Настройки записи", .place = {8, 4, 177, 62}, .font = kBold},
    {.name = "rt", .kind = Kind::CheckBox, .parent = "RzGroup1",
     .caption = "Сворачивать при начале записи", .place = {6, 24, 168, 34}, .font = kPlain,
     .wrap = true},
    {.name = "RzGroup2", .kind = Kind::Group, .parent = "RzGroupBar1",
     .caption = "Горячие клавиши", .place = {8, 74, 177, 128}, .font = kBold},
    {.name = "RzLabel3", .kind = Kind::Label, .parent = "RzGroup2", .place = {8, 26, 165, 98},
     .font = kPlain, .wrap = true},
    {.name = "RzGroup3", .kind = Kind::Group, .parent = "RzGroupBar1",
     .caption = "Настойки сценария", .place = {8, 210, 177, 62}, .font = kBold},
    {.name = "acst", .kind = Kind::CheckBox, .parent = "RzGroup3",
     .caption = "Сворачивать при запуске сценария", .place = {6, 24, 168, 34}, .font = kPlain,
     .wrap = true},
    {.name = "S1", .kind = Kind::Shape, .parent = "TabRec", .place = {392, 8, 25, 17},
     .fill = Fill::Solid, .back = {255, 255, 0}, .frame = kBlack},
    {.name = "RecBtn", .kind = Kind::Button, .parent = "TabRec", .caption = "Запись",
     .place = {208, 40, 97, 25}, .font = kBold, .picture = Picture::Record,
     .events = {{Event::Click, &M::RecBtnClick}}},
    {.name = "StopRecBtn", .kind = Kind::Button, .parent = "TabRec", .caption = "Стоп",
     .place = {312, 40, 97, 25}, .font = kBold, .picture = Picture::Stop, .enabled = false,
     .events = {{Event::Click, &M::StopRecBtnClick}}},
    {.name = "RzBitBtn5", .kind = Kind::Button, .parent = "TabRec", .caption = "Послать текст",
     .place = {224, 88, 161, 25}, .picture = Picture::Text,
     .events = {{Event::Click, &M::RzBitBtn5Click}}},
    {.name = "RzBitBtn6", .kind = Kind::Button, .parent = "TabRec",
     .caption = "Вставить задержку", .place = {224, 120, 161, 25}, .picture = Picture::Delay,
     .events = {{Event::Click, &M::RzBitBtn6Click}}},
    {.name = "RzBitBtn7", .kind = Kind::Button, .parent = "TabRec",
     .caption = "Виртуальная клавиатура", .place = {224, 152, 161, 25},
     .picture = Picture::Keyboard, .events = {{Event::Click, &M::RzBitBtn7Click}}},
    {.name = "RzBitBtn3", .kind = Kind::Button, .parent = "TabRec", .caption = "Сменить прокси",
     .place = {224, 184, 161, 25}, .picture = Picture::Proxy,
     .events = {{Event::Click, &M::RzBitBtn3Click}}},
    {.name = "RzBitBtn4", .kind = Kind::Button, .parent = "TabRec",
     .caption = "Удалить cookies", .place = {224, 216, 161, 25}, .picture = Picture::Cookies,
     .events = {{Event::Click, &M::RzBitBtn4Click}}},

    // The help page: the topics come from helpTopics().
    {.name = "TabHelp", .kind = Kind::Page, .parent = "pc", .caption = "Справка",
     .fill = Fill::Vertical, .back = kBlack, .backTo = {0, 128, 0}, .tab = {58, 169, 35}},
    {.name = "lb2", .kind = Kind::ListBox, .parent = "TabHelp", .place = {8, 16, 145, 345},
     .font = kPlain, .events = {{Event::Change, &M::lb2Click}, {Event::Click, &M::lb2Click}}},
    {.name = "m3", .kind = Kind::Memo, .parent = "TabHelp", .place = {160, 16, 257, 345},
     .text = kBlack, .font = kPlain, .readOnly = true},

    {.name = "T1", .kind = Kind::Timer, .parent = "Form1", .maximum = 10,
     .events = {{Event::Timer, &M::T1Timer}}},
    {.name = "tray", .kind = Kind::TrayIcon, .parent = "Form1"},
};
// clang-format on
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

const Theme kTheme{};

} // namespace

std::span<const Control> controls() {
    return kControls;
}

const Theme& theme() {
    return kTheme;
}

const Control& control(std::string_view name) {
    for (const Control& c : kControls) {
        if (c.name == name) {
            return c;
        }
    }
    throw std::out_of_range("no control named " + std::string(name));
}

int pageOf(const Control& c) {
    const Control* at = &c;
    while (at->kind != Kind::Page) {
        if (at->parent.empty()) {
            return -1;
        }
        at = &control(at->parent);
    }
    int index = 0;
    for (const Control& page : kControls) {
        if (&page == at) {
            return index;
        }
        index += page.kind == Kind::Page;
    }
    return -1;
}

Rgb textColourOf(const Control& c) {
    const Control* at = &c;
    while (!at->text && !at->parent.empty()) {
        at = &control(at->parent);
    }
    return at->text.value_or(Rgb{});
}

Font fontOf(const Control& c) {
    const Control* at = &c;
    while (at->font.family.empty() && !at->parent.empty()) {
        at = &control(at->parent);
    }
    return at->font;
}

const Control& filledBy(const Control& c) {
    const Control* at = &c;
    while (at->fill == Fill::Inherit && !at->parent.empty()) {
        at = &control(at->parent);
    }
    return *at;
}

const Control* enclosing(const Control& c, Kind kind) {
    for (const Control* at = &c; !at->parent.empty();) {
        at = &control(at->parent);
        if (at->kind == kind) {
            return at;
        }
    }
    return nullptr;
}

Rgb pictureColour(Picture picture, bool enabled) {
    const Theme& t = theme();
    if (!enabled) {
        return t.pictureDisabled;
    }
    switch (picture) {
    case Picture::Play:
        return t.picturePlay;
    case Picture::Stop:
    case Picture::Delete:
    case Picture::Record:
        return t.pictureStop;
    case Picture::Cookies:
        return t.pictureCookie;
    default:
        return t.pictureOther;
    }
}

std::string_view popupAt(std::string_view name, int x, int y) {
    // Down to the innermost drawn child under the point (the table lists
    // parents before their children; a later sibling lies on top)...
    const Control* at = &control(name);
    for (;;) {
        const Control* hit = nullptr;
        for (const Control& c : kControls) {
            const Place& p = c.place;
            if (c.parent == at->name && c.visible && p.width > 0 && x >= p.x && x < p.x + p.width &&
                y >= p.y && y < p.y + p.height) {
                hit = &c;
            }
        }
        if (!hit) {
            break;
        }
        at = hit;
        x -= hit->place.x;
        y -= hit->place.y;
    }
    // ...then up to the nearest control with a menu.
    while (at->popup.empty() && !at->parent.empty()) {
        at = &control(at->parent);
    }
    return at->popup;
}

} // namespace pressmark::layout
