// The Win32 window built from the table, on the fake platform: every row's
// event sent as the system's own notification reaches the handler the table
// names, and the rules a user sees are the window's, as in the Qt window.
#include "base/Cp1251.h"
#include "platform/fake/FakePlatform.h"
#include "player/clickerPlay.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"
#include "tests/unit/TempFolder.h"
#include "Win32TestSupport.h"
#include "window/Layout.h"
#include "window/RepeatField.h"
#include "winui/TForm1.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::FakePlatform;
using winui::TForm1;

std::wstring textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string utf8(const std::wstring& w) {
    std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, w.data(),
                                                                 static_cast<int>(w.size()),
                                                                 nullptr, 0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

// What a control's parent receives from it.
void notify(HWND control, WORD code) {
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
}

class WiringWin32Test : public ::testing::Test {
protected:
    enum class Start { Scenario, Recording };
    enum class Fire { Nothing, Toolkit, Handler };
    struct Case {
        std::string_view control;
        layout::Event event;
        Start start;
        std::function<void(TForm1&)> fire;
        std::function<void(TForm1&)> before = [](TForm1&) {};
    };

    // A fresh window over a folder holding the scenarios A and b.
    void make(const std::filesystem::path& in, std::string problem = {}) {
        form.reset();
        fake = std::make_unique<FakePlatform>();
        fake->install();
        std::ofstream(in / "A.ini", std::ios::binary)
            << "[sett]\nsleep=300\nrepeat=2\nComments=first\n[1]\nx=10\ny=20\nkey=1\n";
        std::ofstream(in / "b.ini", std::ios::binary)
            << "[sett]\nsleep=1000\nrepeat=7\nComments=second\n";
        form = std::make_unique<TForm1>(TForm1::Options{in, std::move(problem), false});
        fake->clearTranscript();
    }
    void TearDown() override {
        form.reset();
        fake.reset();
    }
    void select(int row) {
        SendMessageW(form->hwnd("Flb1"), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        notify(form->hwnd("Flb1"), LBN_SELCHANGE);
    }
    static HWND upDownOf(TForm1& f) {
        return FindWindowExW(GetParent(f.hwnd("re")), nullptr, UPDOWN_CLASSW, nullptr);
    }
    static void step(TForm1& f, int delta) {
        NMUPDOWN change{};
        change.hdr.hwndFrom = upDownOf(f);
        change.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(change.hdr.hwndFrom));
        change.hdr.code = UDN_DELTAPOS;
        change.iDelta = delta;
        SendMessageW(GetParent(change.hdr.hwndFrom), WM_NOTIFY, change.hdr.idFrom,
                     reinterpret_cast<LPARAM>(&change));
    }
    static HWND formOf(const TForm1& f) {
        return static_cast<HWND>(const_cast<void*>(f.nativeHandle()));
    }
    // A menu item chosen: its id from the menu, no control.
    static void choose(TForm1& f, int index) {
        SendMessageW(formOf(f), WM_COMMAND,
                     MAKEWPARAM(GetMenuItemID(f.menu("PopupMenu1"), index), 0), 0);
    }

    static const std::vector<Case>& cases() {
        using E = layout::Event;
        const auto click = [](std::string_view name) {
            return [name](TForm1& f) { notify(f.hwnd(name), BN_CLICKED); };
        };
        const auto pick = [](std::string_view list, int row) {
            return [list, row](TForm1& f) {
                SendMessageW(f.hwnd(list), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            };
        };
        static const std::vector<Case> all{
            {"Flb1", E::Change, Start::Scenario,
             [pick](TForm1& f) {
                 pick("Flb1", 1)(f);
                 notify(f.hwnd("Flb1"), LBN_SELCHANGE);
             },
             pick("Flb1", 1)},
            {"SStartBtn", E::Click, Start::Scenario, click("SStartBtn")},
            {"SStopBtn", E::Click, Start::Scenario, click("SStopBtn")},
            {"SDelBtn", E::Click, Start::Scenario, click("SDelBtn")},
            {"N1", E::Click, Start::Scenario, [](TForm1& f) { choose(f, 0); }},
            {"N2", E::Click, Start::Scenario, [](TForm1& f) { choose(f, 1); }},
            {"sc", E::Change, Start::Scenario,
             [](TForm1& f) {
                 SendMessageW(f.hwnd("sc"), TBM_SETPOS, TRUE, 1234);
                 SendMessageW(GetParent(f.hwnd("sc")), WM_HSCROLL, TB_THUMBTRACK,
                              reinterpret_cast<LPARAM>(f.hwnd("sc")));
             },
             [](TForm1& f) { SendMessageW(f.hwnd("sc"), TBM_SETPOS, TRUE, 1234); }},
            {"sc", E::MouseUp, Start::Scenario,
             [](TForm1& f) {
                 SendMessageW(GetParent(f.hwnd("sc")), WM_HSCROLL, TB_ENDTRACK,
                              reinterpret_cast<LPARAM>(f.hwnd("sc")));
             }},
            {"re", E::KeyUp, Start::Scenario,
             [](TForm1& f) { SendMessageW(f.hwnd("re"), WM_KEYUP, VK_SHIFT, 0); }},
            {"re", E::ButtonClick, Start::Scenario, [](TForm1& f) { step(f, 1); },
             [](TForm1& f) { f.stepRepeat(repeatfield::delta(repeatfield::Step::Up, false)); }},
            {"m2", E::KeyUp, Start::Scenario,
             [](TForm1& f) { SendMessageW(f.hwnd("m2"), WM_KEYUP, VK_SHIFT, 0); }},
            {"RecBtn", E::Click, Start::Scenario, click("RecBtn")},
            {"StopRecBtn", E::Click, Start::Recording, click("StopRecBtn")},
            {"RzBitBtn5", E::Click, Start::Recording, click("RzBitBtn5")},
            {"RzBitBtn6", E::Click, Start::Recording, click("RzBitBtn6")},
            {"RzBitBtn7", E::Click, Start::Scenario, click("RzBitBtn7")},
            {"RzBitBtn3", E::Click, Start::Recording, click("RzBitBtn3")},
            {"RzBitBtn4", E::Click, Start::Recording, click("RzBitBtn4")},
            {"lb2", E::Change, Start::Scenario,
             [pick](TForm1& f) {
                 pick("lb2", 3)(f);
                 notify(f.hwnd("lb2"), LBN_SELCHANGE);
             },
             pick("lb2", 3)},
            // A click on a topic: the list selects it and tells its parent.
            {"lb2", E::Click, Start::Scenario,
             [](TForm1& f) {
                 RECT item{};
                 SendMessageW(f.hwnd("lb2"), LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
                 const LPARAM at =
                     MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
                 SendMessageW(f.hwnd("lb2"), WM_LBUTTONDOWN, MK_LBUTTON, at);
                 SendMessageW(f.hwnd("lb2"), WM_LBUTTONUP, 0, at);
             },
             pick("lb2", 3)},
            // A press waits to be sampled; the running timer's tick takes it.
            {"T1", E::Timer, Start::Recording,
             [](TForm1&) { win32test::pump(std::chrono::milliseconds(60)); }},
        };
        return all;
    }

    // A fresh window from the case's start, the event fired one way, and
    // what can be seen afterwards.
    std::string run(const Case& c, const layout::Control& row, Fire how) {
        const test::TempFolder own;
        make(own.path());
        TForm1& f = *form;
        select(0);
        f.logic().SStartBtnClick(); // clears the stop flag of an earlier case
        f.setSpeed(4321);
        SetWindowTextW(f.hwnd("re"), L"77");
        SetWindowTextW(f.hwnd("m2"), L"typed");
        std::filesystem::create_directories(own.path() / "app");
        std::ofstream(own.path() / "app" / "osk.exe") << "MZ";
        fake->setExecutablePath(pathToUtf8(own.path() / "app" / "pressmark.exe"));
        if (c.start == Start::Recording) {
            fake->answerAsk(std::string("rec"));
            f.logic().RecBtnClick();
            fake->press(platform::MouseButton::Left, {100, 200});
            f.logic().T1Timer();
        }
        for (int i = 0; i < 3; ++i) {
            fake->answerAsk(std::string("250"));
        }
        fake->press(platform::MouseButton::Left, {300, 400});
        fake->clearTranscript();
        if (how == Fire::Toolkit) {
            c.fire(f);
        } else if (how == Fire::Handler) {
            c.before(f);
            for (const layout::Handler& h : row.events) {
                if (h.call && h.event == c.event) {
                    (f.logic().*h.call)();
                }
            }
        }
        std::string seen;
        for (const std::string& line : fake->transcript()) {
            seen += line + '\n';
        }
        const auto sel = [&f](const char* list) {
            return std::to_string(SendMessageW(f.hwnd(list), LB_GETCURSEL, 0, 0));
        };
        seen += "sd=" + utf8(textOf(f.hwnd("sd"))) +
                " sc=" + std::to_string(SendMessageW(f.hwnd("sc"), TBM_GETPOS, 0, 0)) +
                " re=" + utf8(textOf(f.hwnd("re"))) + " m2=" + utf8(textOf(f.hwnd("m2"))) +
                " m3=" + utf8(textOf(f.hwnd("m3"))) + " Flb1=" + sel("Flb1") +
                " lb2=" + sel("lb2") + '\n';
        seen += "rec=" + std::to_string(IsWindowEnabled(f.hwnd("RecBtn"))) +
                " stop=" + std::to_string(IsWindowEnabled(f.hwnd("StopRecBtn"))) +
                " S1=" + std::to_string(static_cast<int>(f.indicator())) +
                " page=" + std::to_string(IsWindowEnabled(f.hwnd("TabSheet1"))) +
                " stopFlag=" + std::to_string(stopRequested()) + '\n';
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(own.path())) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            std::ifstream in(path, std::ios::binary);
            seen += pathToUtf8(path.filename()) + ": " +
                    std::string(std::istreambuf_iterator<char>(in), {}) + '\n';
        }
        form.reset();
        fake.reset();
        // Each run has its own folder.
        for (const std::string where = pathToUtf8(own.path());;) {
            const auto at = seen.find(where);
            if (at == std::string::npos) {
                break;
            }
            seen.replace(at, where.size(), "<folder>");
        }
        return seen;
    }
    test::TempFolder folder;
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;
};

TEST_F(WiringWin32Test, EveryRowOfTheTableReachesItsHandler) {
    for (const layout::Control& row : layout::controls()) {
        for (const layout::Handler& h : row.events) {
            if (!h.call) {
                continue;
            }
            SCOPED_TRACE(std::string(row.name) + " event " +
                         std::to_string(static_cast<int>(h.event)));
            const Case* found = nullptr;
            for (const Case& c : cases()) {
                found = c.control == row.name && c.event == h.event ? &c : found;
            }
            ASSERT_TRUE(found) << "a row without a case here";
            const std::string idle = run(*found, row, Fire::Nothing);
            const std::string handler = run(*found, row, Fire::Handler);
            EXPECT_NE(handler, idle) << "the handler shows nothing from this start";
            EXPECT_EQ(run(*found, row, Fire::Toolkit), handler);
        }
    }
}

// The rules a user could see differently in the two windows are the window's.
TEST_F(WiringWin32Test, TheListTheRepeatFieldTheDescriptionAndTheReasonAreTheWindows) {
    for (const char* name : {"ab", "a-c", "Ё", "е", "Ж", "_z", "10", "9"}) {
        std::ofstream(folder.path() / pathFromUtf8(std::string(name) + ".ini")) << "[sett]\n";
    }
    make(folder.path());
    // The list in the program's order, the one --list prints.
    std::vector<std::string> listed;
    const HWND list = form->hwnd("Flb1");
    for (LRESULT i = 0; i < SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
        std::wstring entry(
            static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)),
            L'\0');
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(entry.data()));
        listed.push_back(utf8(entry));
    }
    std::vector<std::string> expected = listed;
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return scenarioNameLess(a, b); });
    EXPECT_EQ(listed.size(), 10U);
    EXPECT_EQ(listed, expected);

    // A typed 500 is saved as 500; emptied, the field reads 1 and shows it.
    select(0);
    const std::filesystem::path selected = form->selectedScenarioPath();
    ASSERT_FALSE(selected.empty());
    const auto savedRepeat = [&selected] {
        return ProfileStore(selected).readString("sett", "repeat", "<none>");
    };
    SetWindowTextW(form->hwnd("re"), L"500");
    SendMessageW(form->hwnd("re"), WM_KEYUP, '0', 0);
    EXPECT_EQ(savedRepeat(), "500");
    SetWindowTextW(form->hwnd("re"), L"");
    SendMessageW(form->hwnd("re"), WM_KEYUP, VK_BACK, 0);
    EXPECT_EQ(savedRepeat(), "1");
    EXPECT_EQ(textOf(form->hwnd("re")), L"1");
    SetWindowTextW(form->hwnd("re"), L"100");
    step(*form, 1);
    EXPECT_EQ(textOf(form->hwnd("re")), L"100");
    SendMessageW(form->hwnd("re"), WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(savedRepeat(), "90");

    // A character 1251 cannot hold is refused as it is typed, with a note
    // and no box; what it can hold goes in.
    const HWND memo = form->hwnd("m2");
    SetWindowTextW(memo, L"");
    for (const wchar_t c : std::wstring(L"Ё中ж")) {
        SendMessageW(memo, WM_CHAR, c, 0);
        SendMessageW(memo, WM_KEYUP, 'X', 0);
    }
    EXPECT_EQ(textOf(memo), L"Ёж");
    EXPECT_NE(GetWindowLongW(form->hwnd("m2Note"), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(utf8(textOf(form->hwnd("m2Note"))), cp1251::refusalUtf8(U'中'));
    EXPECT_TRUE(fake->shown().empty()) << "no box";
    EXPECT_EQ(ProfileStore(selected).readString("sett", "Comments", ""),
              cp1251::fromUtf8Lossy("Ёж"));

    // Without the platform's services, the buttons say why.
    make(folder.path(), "нет перехвата мыши");
    TTTOOLINFOW tool{};
    std::wstring tip(200, L'\0');
    tool.cbSize = sizeof tool;
    tool.hwnd = formOf(*form);
    tool.uId = reinterpret_cast<UINT_PTR>(form->hwnd("RecBtn"));
    tool.lpszText = tip.data();
    const HWND tips = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
    ASSERT_TRUE(tips);
    EXPECT_FALSE(IsWindowEnabled(form->hwnd("RecBtn")));
    SendMessageW(tips, TTM_GETTEXTW, tip.size(), reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(utf8(tip.c_str()), "нет перехвата мыши");
}

// A right press anywhere within the speed group opens its menu: the caption,
// the display, the trackbar, the margins; beside the group none opens.
TEST_F(WiringWin32Test, ARightPressAnywhereInTheSpeedGroupOpensItsMenu) {
    make(folder.path());
    const HWND form1 = formOf(*form);
    ShowWindow(form1, SW_SHOWNOACTIVATE);
    UpdateWindow(form1);
    static bool opened = false;
    const TIMERPROC check = [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const HWND menu = FindWindowW(L"#32768", nullptr);
        opened = menu && IsWindowVisible(menu);
        EndMenu();
    };
    const layout::Place g = layout::control("RzGroupBox1").place;
    const HWND page = form->hwnd("TabSheet1");
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    const struct {
        int x, y;
        bool menu;
    } presses[] = {{g.x + 40, g.y + 3, true},   {g.x + 2, g.y + 40, true},
                   {g.x + 20, g.y + 30, true},  {g.x + 60, g.y + 60, true},
                   {g.x + 120, g.y + 86, true}, {g.x - 30, g.y + 40, false}};
    for (const auto& p : presses) {
        SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
        POINT at{MulDiv(p.x, dpi, 96), MulDiv(p.y, dpi, 96)};
        ClientToScreen(page, &at);
        // The window the system gives the press to (a group box and a static
        // let it through to what lies under them), released as a hand does.
        const HWND hit = WindowFromPoint(at);
        ASSERT_TRUE(hit == form1 || IsChild(form1, hit));
        POINT inside = at;
        ScreenToClient(hit, &inside);
        opened = false;
        SetTimer(nullptr, 0, 200, check);
        SendMessageW(hit, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(inside.x, inside.y));
        SendMessageW(hit, WM_RBUTTONUP, 0, MAKELPARAM(inside.x, inside.y));
        win32test::pump(std::chrono::milliseconds(300));
        EXPECT_EQ(opened, p.menu);
    }
}

} // namespace
} // namespace pressmark
