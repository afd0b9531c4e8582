#include "Win32TestSupport.h"

#include "platform/win32/BackendWin32.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace pressmark {
namespace platform {
// For the failures' messages.
void PrintTo(const Press& p, std::ostream* out) {
    *out << (p.button == MouseButton::Left ? "L " : "R ") << p.pos.x << "," << p.pos.y
         << (p.ownWindow ? " own" : "");
}
} // namespace platform

namespace {

using platform::MouseButton;
using platform::Press;
using platform::win32::BackendWin32;
using win32test::TargetWindow;

// A top-level window of the test's own process. (Not a STATIC: it answers
// hit tests with HTTRANSPARENT, and WindowFromPoint looks through it.)
// With hidesOnPress it hides itself on a left press, as the recording page's
// buttons hide the window on their click.
class OwnWindow {
public:
    explicit OwnWindow(RECT r, bool hidesOnPress = false)
        : m_window(CreateWindowExW(WS_EX_TOPMOST, windowClass(hidesOnPress), L"own",
                                   WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                                   nullptr)) {}
    ~OwnWindow() { DestroyWindow(m_window); }
    HWND get() const { return m_window; }

private:
    static LRESULT CALLBACK hidingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_LBUTTONDOWN) {
            ShowWindow(window, SW_HIDE);
        }
        return DefWindowProcW(window, message, w, l);
    }
    static const wchar_t* registered(const wchar_t* name, WNDPROC proc) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = name;
        RegisterClassW(&wc);
        return name;
    }
    static const wchar_t* windowClass(bool hidesOnPress) {
        static const wchar_t* plain = registered(L"PressmarkOwnTestWindow", DefWindowProcW);
        static const wchar_t* hiding = registered(L"PressmarkHidingTestWindow", hidingProc);
        return hidesOnPress ? hiding : plain;
    }

    HWND m_window;
};

std::wstring at(POINT p) {
    return L" mousemove " + std::to_wstring(p.x) + L" " + std::to_wstring(p.y);
}

// A press of an X button held for ms (0: a click), after the move to p.
std::wstring press(POINT p, int xButton, int ms) {
    const std::wstring b = std::to_wstring(xButton);
    if (ms == 0) {
        return at(p) + L" click " + b;
    }
    return at(p) + L" mousedown " + b + L" sleep " + std::to_wstring(ms / 1000.0) + L" mouseup " +
           b;
}

class PointerWin32Test : public ::testing::Test {
protected:
    // An X client presses a button at a screen position, holds it for 200 ms
    // and releases it; meanwhile the test takes the presses every 10 ms, as
    // the recorder's timer does.
    static std::vector<Press> clickAndSample(platform::Pointer& pointer, POINT p, int xButton) {
        std::vector<Press> seen;
        // GetKeyState's sampling reads the cursor where the button is seen
        // down; under Wine the cursor position reaches the program a little
        // after the X server moved it, so the hand settles before it
        // presses, as a person's does.
        win32test::xdotool(at(p));
        win32test::pumpUntil([&] {
            POINT c{};
            GetCursorPos(&c);
            return c.x == p.x && c.y == p.y;
        });
        win32test::xdotool(press(p, xButton, 200), false);
        // Until well after the release: a held button must stay one press.
        win32test::pumpUntil(
            [&] {
                for (const Press& taken : pointer.takePresses()) {
                    seen.push_back(taken);
                }
                return false;
            },
            std::chrono::milliseconds(900));
        return seen;
    }

    BackendWin32 backend;
};

TEST_F(PointerWin32Test, TheHookQueuesEveryPressInOrderWhenEverTheTicksCome) {
    TargetWindow target(L"hook", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    OwnWindow own({700, 100, 900, 300});
    win32test::pump(std::chrono::milliseconds(200));
    auto& pointer = backend.pointer();
    pointer.startSampling();
    EXPECT_EQ(pointer.degradedReason(), nullptr);

    const POINT a = target.toScreen(40, 30);
    const POINT b = target.toScreen(333, 201);
    const POINT mine{750, 150};
    struct Case {
        POINT at;
        int xButton;
        int heldMs;
        Press expected;
        int pauseMs = 0; // after the release
    };
    // Two quick presses of one button come in a row; the last press is on
    // the target, just after one on our own window. (Less than a tenth of a
    // second after it, a loaded Wine may call the hook for the two presses
    // on different windows the other way round; no hand moves that fast.)
    const std::vector<Case> cases = {
        {a, 1, 0, {MouseButton::Left, {a.x, a.y}, false}},
        {b, 1, 0, {MouseButton::Left, {b.x, b.y}, false}},
        {b, 3, 5, {MouseButton::Right, {b.x, b.y}, false}},
        {a, 1, 500, {MouseButton::Left, {a.x, a.y}, false}},
        {mine, 3, 5, {MouseButton::Right, {mine.x, mine.y}, true}, 100},
        {a, 3, 0, {MouseButton::Right, {a.x, a.y}, false}},
    };
    std::wstring script;
    std::vector<Press> expected;
    std::vector<std::string> passedOn; // what the target receives of a round
    for (const auto& c : cases) {
        script += press(c.at, c.xButton, c.heldMs);
        if (c.pauseMs > 0) {
            script += L" sleep " + std::to_wstring(c.pauseMs / 1000.0);
        }
        expected.push_back(c.expected);
        POINT client = c.at;
        ScreenToClient(target.window(), &client);
        if (!c.expected.ownWindow) {
            passedOn.push_back(std::string("down ") +
                               (c.expected.button == MouseButton::Left ? "L " : "R ") +
                               std::to_string(client.x) + " " + std::to_string(client.y));
        }
    }
    std::vector<std::string> reached;
    for (const bool everyTick : {true, false}) {
        SCOPED_TRACE(everyTick ? "taken every 10 ms" : "taken once at the end");
        std::vector<Press> seen;
        const auto takeInto = [&] {
            for (const Press& p : pointer.takePresses()) {
                seen.push_back(p);
            }
        };
        reached.insert(reached.end(), passedOn.begin(), passedOn.end());
        ASSERT_TRUE(win32test::xdotool(script, false));
        // A press reaches the target only after the hook has passed it on,
        // and the hook is called only while this thread handles messages.
        auto last = std::chrono::steady_clock::now();
        win32test::pumpUntil(
            [&] {
                if (everyTick &&
                    std::chrono::steady_clock::now() - last >= std::chrono::milliseconds(10)) {
                    takeInto();
                    last = std::chrono::steady_clock::now();
                }
                return target.presses().size() == reached.size();
            },
            std::chrono::seconds(10));
        takeInto();
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(target.presses(), reached);
    }
    pointer.stopSampling();
}

// The hook decides whose a press is before any window has it, so one on our
// window stays ours though the window hides on it before the presses are
// taken.
TEST_F(PointerWin32Test, APressStaysOursThoughOurWindowHidesOnIt) {
    TargetWindow target(L"below", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    OwnWindow own({200, 150, 400, 300}, true);
    win32test::pump(std::chrono::milliseconds(200));
    auto& pointer = backend.pointer();
    pointer.startSampling();
    const POINT mine{300, 200};
    ASSERT_TRUE(win32test::xdotool(press(mine, 1, 0)));
    ASSERT_TRUE(win32test::pumpUntil([&] { return !IsWindowVisible(own.get()); }));
    EXPECT_FALSE(pointer.isOwnWindowAt({mine.x, mine.y})) << "the window is still there";
    EXPECT_EQ(pointer.takePresses(),
              (std::vector<Press>{{MouseButton::Left, {mine.x, mine.y}, true}}));
    pointer.stopSampling();
}

TEST_F(PointerWin32Test, NothingIsCollectedOutsideSampling) {
    TargetWindow target(L"outside", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    win32test::pump(std::chrono::milliseconds(200));
    auto& pointer = backend.pointer();
    const POINT a = target.toScreen(40, 30);
    // Each round clicks, then waits for the click to reach the target.
    size_t clicks = 0;
    const auto click = [&] {
        ++clicks;
        ASSERT_TRUE(win32test::xdotool(press(a, 1, 0)));
        ASSERT_TRUE(win32test::pumpUntil([&] { return target.presses().size() == clicks; }));
    };

    click(); // before sampling
    pointer.startSampling();
    EXPECT_TRUE(pointer.takePresses().empty());
    click(); // stopping drops what was not taken
    pointer.stopSampling();
    EXPECT_TRUE(pointer.takePresses().empty());
    click(); // after sampling
    pointer.startSampling();
    EXPECT_TRUE(pointer.takePresses().empty());
    pointer.stopSampling();
}

// The hook is one instance's at a time: a second one samples the buttons on
// each tick instead, and says so.
TEST_F(PointerWin32Test, ASecondSamplerFallsBackToTheButtonStates) {
    TargetWindow target(L"fallback", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    OwnWindow own({700, 100, 900, 300});
    win32test::pump(std::chrono::milliseconds(200));
    backend.pointer().startSampling();
    platform::win32::PointerWin32 second;
    second.startSampling();
    ASSERT_NE(second.degradedReason(), nullptr);
    EXPECT_EQ(std::string(second.degradedReason()),
              "Перехват мыши недоступен: щелчки короче 10 мс могут потеряться");
    EXPECT_EQ(backend.pointer().degradedReason(), nullptr);

    // A held button is one press, at the cursor, marked by the window under it.
    const POINT b = target.toScreen(333, 201);
    const POINT mine{899, 299};
    EXPECT_EQ(clickAndSample(second, b, 3),
              (std::vector<Press>{{MouseButton::Right, {b.x, b.y}, false}}));
    EXPECT_EQ(clickAndSample(second, mine, 1),
              (std::vector<Press>{{MouseButton::Left, {mine.x, mine.y}, true}}));
    EXPECT_EQ(clickAndSample(second, b, 1),
              (std::vector<Press>{{MouseButton::Left, {b.x, b.y}, false}}));
    // The hooked instance saw them as well.
    EXPECT_EQ(backend.pointer().takePresses().size(), 3u);

    second.stopSampling();
    EXPECT_EQ(second.degradedReason(), nullptr);
    backend.pointer().stopSampling();
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
