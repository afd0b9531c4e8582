#include "Win32TestSupport.h"

#include "platform/win32/BackendWin32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::MouseButton;
using platform::Press;
using platform::win32::BackendWin32;
using win32test::TargetWindow;

// A top-level window of the test's own process. (Not a STATIC: it answers
// hit tests with HTTRANSPARENT, and WindowFromPoint looks through it.)
class OwnWindow {
public:
    explicit OwnWindow(RECT r)
        : m_window(CreateWindowExW(WS_EX_TOPMOST, windowClass(), L"own", WS_POPUP | WS_VISIBLE,
                                   r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr)) {}
    ~OwnWindow() { DestroyWindow(m_window); }
    HWND get() const { return m_window; }

private:
    static const wchar_t* windowClass() {
        static const wchar_t* name = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
            wc.lpszClassName = L"PressmarkOwnTestWindow";
            RegisterClassW(&wc);
            return wc.lpszClassName;
        }();
        return name;
    }

    HWND m_window;
};

class PointerWin32Test : public ::testing::Test {
protected:
    // An X client presses a button at a screen position, holds it for some
    // samples and releases it; meanwhile the test samples every 10 ms, as
    // the recorder's timer does.
    std::vector<Press> clickAndSample(POINT at, int xButton) {
        std::vector<Press> seen;
        const std::wstring b = std::to_wstring(xButton);
        // The sampling reads the cursor where the button is seen down; under
        // Wine the cursor position reaches the program a little after the X
        // server moved it, so the hand settles before it presses, as a
        // person's does.
        win32test::xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y));
        win32test::pumpUntil([&] {
            POINT p{};
            GetCursorPos(&p);
            return p.x == at.x && p.y == at.y;
        });
        win32test::xdotool(L"mousedown " + b + L" sleep 0.2 mouseup " + b, false);
        // Until well after the release: a held button must stay one press.
        win32test::pumpUntil(
            [&] {
                for (const Press& p : backend.pointer().takePresses()) {
                    seen.push_back(p);
                }
                return false;
            },
            std::chrono::milliseconds(900));
        return seen;
    }

    BackendWin32 backend;
};

TEST_F(PointerWin32Test, SamplingTurnsClicksIntoPressesAndMarksOwnWindows) {
    TargetWindow target(L"sampling", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    OwnWindow own({700, 100, 900, 300});
    win32test::pump(std::chrono::milliseconds(200));
    auto& pointer = backend.pointer();

    // Not sampling: nothing is collected.
    const POINT a = target.toScreen(40, 30);
    EXPECT_TRUE(clickAndSample(a, 1).empty());

    pointer.startSampling();
    struct Case {
        POINT at;
        int xButton;
        Press expected;
    };
    const POINT b = target.toScreen(333, 201);
    const std::vector<Case> cases = {
        {a, 1, {MouseButton::Left, {a.x, a.y}, false}},
        {b, 3, {MouseButton::Right, {b.x, b.y}, false}},
        {{750, 150}, 1, {MouseButton::Left, {750, 150}, true}},
        {b, 1, {MouseButton::Left, {b.x, b.y}, false}},
        {a, 1, {MouseButton::Left, {a.x, a.y}, false}},
        {{899, 299}, 3, {MouseButton::Right, {899, 299}, true}},
        {a, 3, {MouseButton::Right, {a.x, a.y}, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y));
        const auto seen = clickAndSample(c.at, c.xButton);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0], c.expected);
    }
    // The target received the clicks that were not on our own window, where
    // they were sampled.
    EXPECT_EQ(target.presses(),
              (std::vector<std::string>{"down L 40 30", "down L 40 30", "down R 333 201",
                                        "down L 333 201", "down L 40 30", "down R 40 30"}));

    pointer.stopSampling();
    EXPECT_TRUE(clickAndSample(b, 1).empty());
}

TEST_F(PointerWin32Test, PrimaryScreenAndOwnWindowTest) {
    const platform::Rect screen = backend.pointer().primaryScreen();
    EXPECT_EQ(screen,
              (platform::Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    EXPECT_GT(screen.width, 0);

    TargetWindow target(L"owner", 100, 100, 300, 300);
    ASSERT_TRUE(target.ready());
    OwnWindow own({400, 100, 600, 300});
    win32test::pump(std::chrono::milliseconds(100));
    EXPECT_TRUE(backend.pointer().isOwnWindowAt({400, 100}));
    EXPECT_TRUE(backend.pointer().isOwnWindowAt({599, 299}));
    EXPECT_FALSE(backend.pointer().isOwnWindowAt({150, 150}));
    EXPECT_FALSE(backend.pointer().isOwnWindowAt({600, 300}));

    SetCursorPos(123, 456);
    EXPECT_TRUE(win32test::pumpUntil([&] {
        return backend.pointer().cursorPos() == platform::Point{123, 456};
    }));
}

} // namespace
} // namespace pressmark
