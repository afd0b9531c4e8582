// What is read from sway's replies (the window under a point, the user's
// bindings), the names of chords, and the hot keys bound over sway's IPC, pressed with wtype on a
// real headless sway (with_sway.sh).
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include "platform/wayland/GnomeShell.h"
#include "platform/wayland/HotKeysPortal.h"
#include "platform/wayland/HotKeysSway.h"
#include "platform/wayland/SwayIpc.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace pressmark::wayland_test {
namespace {

using namespace platform::wayland;
using platform::ModAlt;
using platform::ModControl;
using platform::ModShift;
using platform::ModWin;
using platform::Point;

std::string rect(int x, int y, int w, int h) {
    return R"("rect":{"x":)" + std::to_string(x) + R"(,"y":)" + std::to_string(y) + R"(,"width":)" +
           std::to_string(w) + R"(,"height":)" + std::to_string(h) + "}";
}

std::string window(int id, int x, int y, int w, int h, const std::string& extra = "") {
    return R"({"id":)" + std::to_string(id) + R"(,"type":"con","pid":)" +
           std::to_string(id + 1000) + "," + rect(x, y, w, h) +
           R"(,"fullscreen_mode":0,"nodes":[],"floating_nodes":[])" + extra + "}";
}

// Workspaces report fullscreen_mode 1 of themselves, as sway's do.
std::string workspace(int id, const std::string& name, const std::string& tiled,
                      const std::string& floating) {
    return R"({"id":)" + std::to_string(id) + R"(,"type":"workspace","name":")" + name + R"(",)" +
           rect(0, 0, 1280, 720) + R"(,"fullscreen_mode":1,"nodes":[)" + tiled +
           R"(],"floating_nodes":[)" + floating + "]}";
}

// Output 1 (1280x720) shows workspace "1": a tiled split with a gap at
// x 630..649, a tabbed pair showing its second tab, two floating windows
// (the later above); workspace "2", hidden, and the scratchpad cover it
// all. Output 2 (800x600 right of it) shows a fullscreen window over a
// tiled and a floating one.
const std::string tree =
    std::string(R"({"id":1,"type":"root",)") + rect(0, 0, 2080, 720) +
    R"(,"nodes":[{"id":2,"type":"output","name":"__i3",)" + rect(0, 0, 1280, 720) +
    R"(,"nodes":[)" + workspace(3, "__i3_scratch", "", window(60, 0, 0, 1280, 720)) +
    R"(],"focus":[3]},{"id":4,"type":"output","name":"HEADLESS-1",)" + rect(0, 0, 1280, 720) +
    R"(,"current_workspace":"1","nodes":[)" + workspace(5, "2", window(40, 0, 0, 1280, 720), "") +
    "," +
    workspace(6, "1",
              R"({"id":7,"type":"con","layout":"splith",)" + rect(0, 0, 1280, 720) +
                  R"(,"nodes":[)" + window(10, 0, 0, 630, 720) +
                  R"(,{"id":8,"type":"con","layout":"tabbed",)" + rect(650, 0, 630, 720) +
                  R"(,"focus":[31],"nodes":[)" + window(30, 650, 0, 630, 720) + "," +
                  window(31, 650, 0, 630, 720) + "]}]}",
              window(20, 100, 100, 300, 300) + "," +
                  window(21, 200, 200, 300, 300, R"(,"focused":true)")) +
    R"(],"focus":[6,5]},{"id":9,"type":"output","name":"HEADLESS-2",)" + rect(1280, 0, 800, 600) +
    R"(,"focus":[11],"nodes":[)" +
    workspace(11, "3",
              window(50, 1280, 0, 400, 600) + "," +
                  window(51, 1280, 0, 800, 600, R"(,"fullscreen_mode":1)"),
              window(52, 1300, 10, 100, 100)) +
    "]}]}";

TEST(SwayTree, WindowAtAPointIsTheOneShownThere) {
    const struct {
        Point p;
        long id; // 0: no window
    } rows[] = {
        {{50, 50}, 10},   // tiled
        {{150, 150}, 20}, // floating over tiled
        {{250, 250}, 21}, // the later floating window over the earlier one
        {{640, 10}, 0},   // the gap: the hidden workspace's window is not there
        {{700, 10}, 31},  // the tab in front
        {{1300, 20}, 51}, // fullscreen over tiled and floating (output 2 by its focus)
        {{1700, 650}, 0}, // below output 2
        {{2100, 10}, 0},  // beyond every output
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.p.x) + "," + std::to_string(r.p.y));
        const auto w = windowAt(tree, r.p);
        EXPECT_EQ(w ? w->id : 0, r.id);
        if (w) {
            EXPECT_EQ(w->pid, r.id + 1000);
        }
    }
    const auto f = focusedWindow(tree);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->id, 21);
    EXPECT_EQ(f->rect, (platform::Rect{200, 200, 300, 300}));
    EXPECT_FALSE(windowAt("not json", {50, 50}));
}

TEST(SwayConfig, ChordsTheUserBindsInTheDefaultMode) {
    const struct {
        std::vector<std::string> configs;
        unsigned vk, mods;
        bool bound;
    } rows[] = {
        {{"bindsym Ctrl+q exec x"}, 'Q', ModControl, true},
        {{"bindsym Control+Q exec x"}, 'Q', ModControl, true},
        {{"bindsym Ctrl+q exec x"}, 'Q', ModControl | ModShift, false},
        {{"bindsym Ctrl+q exec x"}, 'W', ModControl, false},
        {{"set $mod Mod4\nbindsym $mod+q kill"}, 'Q', ModWin, true},
        {{"set $mod Mod4\nset $mod2 Mod1\nbindsym $mod2+q kill"}, 'Q', ModAlt, true},
        {{"set $mod Mod1\nbindsym $mod+Shift+q kill"}, 'Q', ModAlt, false},
        {{"set $mod Mod1\nbindsym $mod+Shift+q kill"}, 'Q', ModAlt | ModShift, true},
        {{"bindsym Alt+w x", "bindsym Super+w x"}, 'W', ModAlt, true},
        {{"bindsym shift+LOGO+w x"}, 'W', ModWin | ModShift, true},
        {{"bindsym --release --no-repeat Mod1+q x"}, 'Q', ModAlt, true},
        {{"bindsym F1 x"}, 0x70, 0, true},
        {{"bindcode Control+24 x"}, 'Q', ModControl, true},
        {{"bindcode Control+25 x"}, 'Q', ModControl, false},
        {{"bindcode Control+29 x\ninput * {\n  xkb_layout de\n}"}, 'Z', ModControl, true},
        {{"bindcode Control+29 x"}, 'Z', ModControl, false},
        {{"mode \"resize\" {\n  bindsym Ctrl+q x\n}"}, 'Q', ModControl, false},
        {{"mode \"default\" bindsym Ctrl+q x"}, 'Q', ModControl, true},
        {{"bindsym {\n  Ctrl+e x\n  Ctrl+q x\n}"}, 'Q', ModControl, true},
        {{"bindsym Ctrl+q \\\n  exec x"}, 'Q', ModControl, true},
        {{"# bindsym Ctrl+q x\nbar {\n bindsym button4 x\n}"}, 'Q', ModControl, false},
        {{"set $mod Mod4", "bindsym $mod+w x"}, 'W', ModWin, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.configs.back() + " / " + swayChord(r.vk, r.mods));
        EXPECT_EQ(configBindsChord(r.configs, r.vk, r.mods), r.bound);
    }
}

// Each service names a chord its own way; a key without a name is no chord.
TEST(HotKeyNames, AsSwayThePortalAndGnomeShellWriteThem) {
    const struct {
        unsigned vk, mods;
        const char* sway;
        const char* portal;
        const char* shell;
    } rows[] = {
        {'Q', ModControl, "Ctrl+q", "CTRL+q", "<Control>q"},
        {'W', ModAlt, "Mod1+w", "ALT+w", "<Alt>w"},
        {'7', ModControl | ModAlt, "Ctrl+Mod1+7", "CTRL+ALT+7", "<Control><Alt>7"},
        {0x70, ModWin | ModShift, "Mod4+Shift+F1", "SHIFT+LOGO+F1", "<Shift><Super>F1"},
        {0xFF, ModAlt, "", "", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(swayChord(r.vk, r.mods), r.sway);
        EXPECT_EQ(portalTrigger(r.vk, r.mods).toStdString(), r.portal);
        EXPECT_EQ(shellAccelerator(r.vk, r.mods).toStdString(), r.shell);
    }
}

TEST(SwayConfig, TheChordsKeyIsBoundUnderTheNamesOfTheOtherLayouts) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(namesInOtherLayouts({"input type:keyboard xkb_layout us,ru"}, 'Q'),
              Names{"Cyrillic_shorti"});
    EXPECT_EQ(namesInOtherLayouts({"input * xkb_layout fr,ru"}, 'Q'), Names{"Cyrillic_ef"});
    EXPECT_EQ(namesInOtherLayouts({"input * xkb_layout us,de"}, 'Q'), Names{});
    EXPECT_EQ(namesInOtherLayouts({"input * xkb_layout ru"}, 'Q'), Names{});
}

TEST(SwayConfig, IncludedConfigsAreReadFromTheReplyOrTheDisk) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("pressmark-sway-include-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "keys.conf") << "bindsym Ctrl+q x\n";
    const auto fromDisk = configTexts(
        QJsonDocument(
            QJsonObject{{"config", QString::fromStdString("include " + dir.string() + "/*.conf")}})
            .toJson()
            .toStdString());
    std::filesystem::remove_all(dir);
    EXPECT_EQ(fromDisk.size(), 2u);
    EXPECT_TRUE(configBindsChord(fromDisk, 'Q', ModControl));
    const auto fromReply = configTexts(
        R"({"config":"include x","included_configs":[{"path":"x","raw_contents":"bindsym Alt+w y"}]})");
    EXPECT_EQ(fromReply, (std::vector<std::string>{"include x", "bindsym Alt+w y"}));
}

// ---- against a real sway ----

void pump(std::chrono::milliseconds d, const std::function<bool()>& done = {}) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end && !(done && done())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// One chord through a virtual keyboard of its own, as a user would press it
// (wtype's modifier names); holdMs keeps the key down that long.
void press(const char* mod, const char* key, int holdMs = 0) {
    QStringList args = {"-M", mod, "-P", key};
    if (holdMs > 0) {
        args << "-s" << QString::number(holdMs);
    }
    args << "-p" << key << "-m" << mod;
    ASSERT_EQ(QProcess::execute("wtype", args), 0) << "wtype " << args.join(' ').toStdString();
}

constexpr struct {
    int id;
    unsigned vk, mods;
    const char *mod, *key;
} chords[] = {{5, 'Q', ModControl, "ctrl", "q"},
              {6, 'W', ModControl, "ctrl", "w"},
              {7, 'Q', ModAlt, "alt", "q"},
              {8, 'W', ModAlt, "alt", "w"}};

class OnSway : public ::testing::Test {
protected:
    void SetUp() override {
        // Without sway the run fails: it is what these tests are for.
        ASSERT_NE(std::getenv("SWAYSOCK"), nullptr) << "run through with_sway.sh";
        m_observer = SwayIpc::connect();
        ASSERT_TRUE(m_observer) << "no sway answers at " << std::getenv("SWAYSOCK");
        ASSERT_TRUE(m_observer->subscribe(R"(["binding"])"));
    }

    // The commands of the bindings sway ran since the last call, as any
    // client subscribed to its binding events sees them.
    std::vector<std::string> commandsRun() {
        pump(std::chrono::milliseconds(300));
        std::vector<std::string> out;
        for (const auto& ev : m_observer->takeEvents()) {
            out.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(ev.payload))
                              .object()["binding"]
                              .toObject()["command"]
                              .toString()
                              .toStdString());
        }
        return out;
    }

    static std::string recordPath() {
        const std::string sock = std::getenv("SWAYSOCK");
        return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/pressmark-hotkeys-" +
               sock.substr(sock.rfind('/') + 1);
    }

    std::unique_ptr<SwayIpc> m_observer;
};

TEST_F(OnSway, EachChordFiresOncePerPressAndNoMoreOnceDestroyed) {
    auto keys = HotKeysSway::create();
    ASSERT_TRUE(keys);
    std::vector<int> fired;
    keys->setHandler([&](int id) { fired.push_back(id); });
    for (const auto& c : chords) {
        ASSERT_TRUE(keys->registerHotKey(c.id, c.vk, c.mods)) << c.mod << "+" << c.key;
    }
    EXPECT_EQ(keys->recordPath(), recordPath());
    for (int round = 0; round < 3; ++round) {
        for (const auto& c : chords) {
            SCOPED_TRACE(std::string(c.mod) + "+" + c.key + " round " + std::to_string(round));
            fired.clear();
            // The last round holds the key past sway's repeat delay.
            press(c.mod, c.key, round == 2 ? 1000 : 0);
            pump(std::chrono::milliseconds(2000), [&] { return !fired.empty(); });
            pump(std::chrono::milliseconds(100));
            EXPECT_EQ(fired, std::vector<int>{c.id});
        }
    }
    fired.clear();
    press("ctrl", "e");
    pump(std::chrono::milliseconds(300));
    EXPECT_TRUE(fired.empty()) << "a chord not bound";

    keys->unregisterHotKey(6);
    commandsRun();
    press("ctrl", "w");
    EXPECT_EQ(commandsRun(), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::exists(recordPath()));
    keys.reset();
    EXPECT_FALSE(std::filesystem::exists(recordPath()));
    for (const auto& c : chords) {
        press(c.mod, c.key);
    }
    EXPECT_EQ(commandsRun(), std::vector<std::string>{}) << "a binding outlived its owner";
}

TEST_F(OnSway, ChordOfTheUsersConfigIsRefusedAndKeepsItsBinding) {
    auto keys = HotKeysSway::create();
    ASSERT_TRUE(keys);
    std::vector<int> fired;
    keys->setHandler([&](int id) { fired.push_back(id); });
    EXPECT_FALSE(keys->registerHotKey(9, 'Q', ModWin)); // "bindsym $mod+q" with $mod Mod4
    EXPECT_TRUE(keys->registerHotKey(10, 'Q', ModWin | ModShift));
    commandsRun();
    press("logo", "q");
    EXPECT_EQ(commandsRun(), std::vector<std::string>{"nop user-chord"});
    EXPECT_TRUE(fired.empty());
}

TEST_F(OnSway, ChordsLeftByAKilledRunAreUnboundByTheNext) {
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-hot-keys"});
    ASSERT_TRUE(holder.waitForReadyRead(10000)) << holder.readAllStandardError().toStdString();
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "bound");
    holder.kill(); // SIGKILL: no destructor runs
    holder.waitForFinished();
    commandsRun();
    press("ctrl", "q");
    EXPECT_EQ(commandsRun(), std::vector<std::string>{"nop pressmark:5"})
        << "the killed run left its chord bound";
    EXPECT_TRUE(std::filesystem::exists(recordPath()));

    HotKeysSway::create().reset();
    EXPECT_FALSE(std::filesystem::exists(recordPath()));
    for (const auto& c : chords) {
        press(c.mod, c.key);
    }
    EXPECT_EQ(commandsRun(), std::vector<std::string>{});
}

// The overlay recorder asks for the tree from the Wayland thread while the
// main thread may ask too: replies must not cross.
TEST_F(OnSway, OneConnectionServesTwoThreadsAtOnce) {
    auto ipc = SwayIpc::connect();
    ASSERT_TRUE(ipc);
    auto ask = [&](int& good) {
        for (int i = 0; i < 200; ++i) {
            const auto tree = ipc->tree();
            const auto version = ipc->request(SwayIpc::GetVersion, {});
            good += tree &&
                    QJsonDocument::fromJson(QByteArray::fromStdString(*tree))
                            .object()["type"]
                            .toString() == "root" &&
                    version && version->find("human_readable") != std::string::npos;
        }
    };
    int good1 = 0, good2 = 0;
    std::thread other(ask, std::ref(good2));
    ask(good1);
    other.join();
    EXPECT_EQ(good1, 200);
    EXPECT_EQ(good2, 200);
}

// Run by a test above as a program of its own, to be killed.
int holdHotKeys() {
    auto keys = HotKeysSway::create();
    for (const auto& c : chords) {
        if (!keys || !keys->registerHotKey(c.id, c.vk, c.mods)) {
            return 1;
        }
    }
    std::printf("bound\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace
} // namespace pressmark::wayland_test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "--hold-hot-keys") {
        return pressmark::wayland_test::holdHotKeys();
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
