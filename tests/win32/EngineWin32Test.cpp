#include "Win32TestSupport.h"

#include "platform/Platform.h"
#include "platform/win32/BackendWin32.h"
#include "base/win32/WideText.h"
#include "player/clickerPlay.h"
#include "recorder/clickerRec.h"
#include "base/Cp1251.h"
#include "scenario/ProfileStore.h"
#include "tests/unit/FakeWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pressmark {
namespace {

using platform::win32::BackendWin32;
using win32test::TargetWindow;

// The recorder and the player on the Win32 backend, against another
// program: clicks made on it by an X client are recorded through the
// sampling, then played back into it.
class EngineWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        backend.install();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::filesystem::path(temp) /
                 ("pressmark-e2e-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Presses and holds a button over a client position of the target while
    // the 10 ms timer ticks, as the user does while recording.
    void clickWhileRecording(Recording& recording, POINT at, int xButton) {
        const std::wstring b = std::to_wstring(xButton);
        const auto before = recording.current()->stepCount();
        win32test::xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y) +
                               L" mousedown " + b + L" sleep 0.2 mouseup " + b,
                           false);
        win32test::pumpUntil(
            [&] {
                recording.tick();
                return recording.current()->stepCount() > before;
            },
            std::chrono::seconds(5));
        // Tick on past the release, so that the next press is a new one.
        win32test::pumpUntil(
            [&] {
                recording.tick();
                return false;
            },
            std::chrono::milliseconds(500));
    }

    BackendWin32 backend;
    FakeEvents events;
    std::filesystem::path folder;
};

TEST_F(EngineWin32Test, RecordedClicksPlayBackAtTheSameClientPositions) {
    TargetWindow target(L"engine", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    const int editY = 400 - TargetWindow::EditHeight / 2;

    Recording recording(events);
    ASSERT_TRUE(recording.start(folder, "запись"));
    ASSERT_TRUE(events.recording);
    clickWhileRecording(recording, target.toScreen(40, 30), 1);
    clickWhileRecording(recording, target.toScreen(333, 201), 3);
    clickWhileRecording(recording, target.toScreen(499, 0), 1);
    clickWhileRecording(recording, target.toScreen(250, editY), 1);
    ASSERT_EQ(recording.current()->stepCount(), 4);
    // "Послать текст": the prompt answered, the text typed at once into the
    // edit box that was clicked last, and stored in the last step.
    const std::wstring typed = L"\u041f\u0440\u0438\u0432\u0435\u0442, 1251!";
    {
        win32test::DialogUser user(platform::win32::DialogsWin32::AskClassName,
                                   L"\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438 "
                                   L"\u0434\u0435\u0439\u0441\u0442\u0432\u0438\u044f",
                                   [&](HWND w) {
                                       SetDlgItemTextW(w, platform::win32::DialogsWin32::EditId,
                                                       typed.c_str());
                                       win32test::command(w, IDOK);
                                   });
        recording.sendText();
        ASSERT_TRUE(user.seen().found);
    }
    EXPECT_TRUE(win32test::pumpUntil([&] { return target.editText() == typed; }))
        << win32::narrowUtf8(target.editText());
    recording.stop();
    ASSERT_FALSE(recording.active());

    const std::vector<std::string> recorded = {"down L 40 30", "down R 333 201", "down L 499 0"};
    ASSERT_EQ(target.presses(), recorded);
    const auto file = folder / std::filesystem::path(u8"запись.ini");
    ASSERT_TRUE(std::filesystem::exists(file));
    {
        ProfileStore store(file);
        EXPECT_EQ(store.readInteger("sett", "sleep", -1), 300);
        EXPECT_EQ(store.readInteger("2", "key", -1), 2);
        EXPECT_EQ(store.readString("4", "text", ""), cp1251::fromUtf8Lossy("Привет, 1251!"));
    }

    {
        const scenario::Settings settings = scenario::loadSettings(file).value();
        clickerPlay player(file, settings.speed, settings.repeat, events);
        EXPECT_EQ(player.run(), clickerPlay::Outcome::Finished);
    }
    ASSERT_TRUE(win32test::pumpUntil([&] { return target.presses().size() >= 6; }));
    std::vector<std::string> twice = recorded;
    twice.insert(twice.end(), recorded.begin(), recorded.end());
    EXPECT_EQ(target.presses(), twice);
    // Played back: the edit box clicked again and the text typed after the
    // one typed while recording.
    EXPECT_TRUE(win32test::pumpUntil([&] { return target.editText() == typed + typed; }))
        << win32::narrowUtf8(target.editText());
}

TEST_F(EngineWin32Test, TheStopHotKeyEndsAPlaybackDuringItsWait) {
    TargetWindow target(L"stop", 100, 100, 500, 400);
    ASSERT_TRUE(target.ready());
    const auto file = folder / "long.ini";
    {
        ProfileStore store(file);
        store.writeInteger("sett", "sleep", 400);
        store.writeInteger("sett", "repeat", 100);
        platform::Point p{300, 250};
        dev::ScaleToAbsolute(p);
        store.writeInteger("1", "x", p.x);
        store.writeInteger("1", "y", p.y);
        store.writeInteger("1", "key", 1);
    }
    // Alt+W, as the main window registers it, sets the stop flag.
    backend.hotKeys().setHandler([](int id) {
        if (id == sf::HotKeyIdBase + 8) {
            requestStop();
        }
    });
    ASSERT_TRUE(sf::SetHotKey(8, 'W', platform::ModAlt));

    const scenario::Settings settings = scenario::loadSettings(file).value();
    clickerPlay player(file, settings.speed, settings.repeat, events);
    // The key arrives while the player waits between its clicks.
    win32test::xdotool(L"sleep 1.5 key alt+w", false);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(player.run(), clickerPlay::Outcome::Stopped);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(10)) << "100 repetitions would take 40 s";
    const auto clicks = target.presses().size();
    EXPECT_GE(clicks, 2u);
    EXPECT_LE(clicks, 10u);
}

} // namespace
} // namespace pressmark
