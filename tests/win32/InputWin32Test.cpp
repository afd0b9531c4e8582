#include "Win32TestSupport.h"

#include "platform/Platform.h"
#include "platform/win32/BackendWin32.h"
#include "base/win32/WideText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::win32::BackendWin32;
using platform::win32::InputWin32;
using win32test::TargetWindow;

class InputWin32Test : public ::testing::Test {
protected:
    void SetUp() override { backend.install(); }

    // Puts the pointer on a client pixel of the target through the
    // normalized space, as the player does with a recorded position.
    void moveToClient(const TargetWindow& t, int cx, int cy) {
        POINT s = t.toScreen(cx, cy);
        platform::Point p{s.x, s.y};
        dev::ScaleToAbsolute(p);
        dev::MoveTo(p.x, p.y);
    }

    BackendWin32 backend;
};

TEST_F(InputWin32Test, SystemAbsoluteLandsOnThePixelTheNormalizedPositionStandsFor) {
    // The system maps dx to floor(dx * W / 65536). For every pixel of a few
    // widths, the value the recorder stores for it must come back to it.
    for (int width : {640, 1024, 1280, 1366, 1920, 2560, 3840}) {
        int wrong = 0;
        for (int pixel = 0; pixel < width; ++pixel) {
            const long double q = 65535.0L / width;
            const auto n = static_cast<std::int32_t>(std::nearbyint(q * pixel));
            const std::int64_t dx = InputWin32::systemAbsolute(n, width);
            if (dx * width / 65536 != pixel || dx < 0 || dx > 65535) {
                ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "width " << width;
        EXPECT_EQ(InputWin32::systemAbsolute(65535, width) * width / 65536, width - 1);
        EXPECT_EQ(InputWin32::systemAbsolute(0, width), 0);
    }
    // Clicks recorded on a monitor beside the primary one, as the recorder
    // stores them (round(pixel * 65535 / W)), come back to their pixel; only
    // the column just right of the primary one shares 65535 with its last.
    for (const int pixel : {-1920, -1, 801, 1000, 2559}) {
        const auto n = static_cast<std::int32_t>(std::nearbyint(65535.0L / 800 * pixel));
        EXPECT_EQ(InputWin32::pixelOf(n, 800), pixel);
    }
}

TEST_F(InputWin32Test, MoveToCornersOfTheNormalizedSpace) {
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        std::int32_t nx, ny;
        POINT expected;
    };
    const std::vector<Case> cases = {
        {0, 0, {0, 0}},
        {65535, 65535, {w - 1, h - 1}},
        {65535, 0, {w - 1, 0}},
        {32768, 32768, {w / 2, h / 2}},
    };
    for (const auto& c : cases) {
        dev::MoveTo(c.nx, c.ny);
        POINT p{};
        ASSERT_TRUE(win32test::pumpUntil(
            [&] {
                GetCursorPos(&p);
                return p.x == c.expected.x && p.y == c.expected.y;
            },
            std::chrono::seconds(2)))
            << "(" << c.nx << "," << c.ny << ") put the cursor at " << p.x << "," << p.y;
    }
}

TEST_F(InputWin32Test, ClicksLandAtExactClientPositions) {
    // A full-screen target: client (0,0) is the top-left pixel of the screen,
    // so the corners of the normalized space are its corners too.
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    TargetWindow target(L"clicks", 0, 0, w, h);
    ASSERT_TRUE(target.ready());
    std::vector<std::string> expected;

    // Under Wine the X server echoes each pointer warp back to the program
    // under the pointer, and a late echo of an earlier move can put the
    // cursor back; a pause before each step (the player's base delay) lets
    // it pass.
    win32test::pump(std::chrono::milliseconds(100));
    dev::MoveTo(0, 0);
    dev::LeftClick();
    expected.push_back("down L 0 0");
    // Above the edit box along the bottom, the far corner of the blank area.
    const int bottom = h - TargetWindow::EditHeight - 1;
    struct Click {
        int x, y;
        bool left;
    };
    for (const Click& c : {Click{w - 1, 0, false}, Click{1, 1, true}, Click{w - 1, bottom, true},
                           Click{333, 517, false}, Click{w / 2, h / 3, true}}) {
        win32test::pump(std::chrono::milliseconds(100));
        moveToClient(target, c.x, c.y);
        c.left ? dev::LeftClick() : dev::RightClick();
        expected.push_back(std::string("down ") + (c.left ? "L " : "R ") + std::to_string(c.x) +
                           " " + std::to_string(c.y));
    }
    EXPECT_TRUE(win32test::pumpUntil([&] { return target.presses().size() >= expected.size(); }));
    EXPECT_EQ(target.presses(), expected);
    // Every button pressed was released.
    EXPECT_GE(GetAsyncKeyState(VK_LBUTTON), 0);
    EXPECT_GE(GetAsyncKeyState(VK_RBUTTON), 0);
}

TEST_F(InputWin32Test, TypedTextArrivesInAnotherProgramsEditControl) {
    TargetWindow target(L"typing", 100, 100, 500, 300);
    ASSERT_TRUE(target.ready());
    // Click into the edit box first, as a recorded step does.
    moveToClient(target, 250, 300 - TargetWindow::EditHeight / 2);
    dev::LeftClick();

    const std::string text = "Hello, World! Привет 123";
    const platform::TypeReport report = dev::TypeText(text);
    EXPECT_EQ(report.typed, 24);
    EXPECT_EQ(report.skipped, 0);
    const std::wstring expected = L"Hello, World! \u041f\u0440\u0438\u0432\u0435\u0442 123";
    EXPECT_TRUE(win32test::pumpUntil([&] { return target.editText() == expected; }))
        << win32::narrowUtf8(target.editText());
    // The target read its own text with GetWindowTextW after the last change.
    const auto log = target.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "text Hello, World! Привет 123");
}

TEST_F(InputWin32Test, HeldModifiersDoNotAlterTypedText) {
    TargetWindow target(L"modifiers", 100, 100, 500, 300);
    ASSERT_TRUE(target.ready());
    moveToClient(target, 250, 300 - TargetWindow::EditHeight / 2);
    dev::LeftClick();
    // Wine takes its key state from the X server again when its window gains
    // the focus; let that happen before Alt goes down, or it lifts Alt.
    win32test::pump(std::chrono::milliseconds(500));

    // Alt held (as after the Alt+Q hot key): without care, every character
    // would become a menu accelerator and nothing would be typed.
    INPUT alt{};
    alt.type = INPUT_KEYBOARD;
    alt.ki.wVk = VK_LMENU;
    SendInput(1, &alt, sizeof(INPUT));
    ASSERT_TRUE(win32test::pumpUntil([] { return GetAsyncKeyState(VK_LMENU) < 0; }));

    dev::TypeText("aZ Ж");
    // Typed as characters from outside the code page too: a surrogate pair.
    backend.input().typeUnicode(L"\U0001F600!");
    // The held modifier is down again afterwards, as the user left it. (Wine
    // later resets its key state to the X server's, where Alt is up.)
    EXPECT_LT(GetAsyncKeyState(VK_LMENU), 0);

    EXPECT_TRUE(win32test::pumpUntil([&] { return target.editText() == L"aZ \u0416\U0001F600!"; }))
        << target.log().back();
    alt.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &alt, sizeof(INPUT));
}

} // namespace
} // namespace pressmark
