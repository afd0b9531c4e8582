// Costs of the recording tick and the playback loop, and the accuracy of the
// playback waits on the real clock. Prints FIGURE lines at the end.
#include "platform/Backend.h"
#include "platform/Platform.h"
#include "player/clickerPlay.h"
#include "recorder/clickerRec.h"
#include "scenario/ScenarioFormat.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace pressmark {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// Injects nothing, samples scripted presses, and keeps real time: what is
// measured is the engine and the store, not a display server.
class BenchBackend final : public platform::Input,
                           public platform::Pointer,
                           public platform::HotKeys,
                           public platform::System,
                           public platform::Dialogs,
                           public platform::Clock {
public:
    void install() { platform::install(platform::Backend{this, this, this, this, this, this}); }
    void queuePress(platform::Point p) { m_presses.push_back({platform::MouseButton::Left, p}); }
    long events = 0;
    // What the sleeps cost beyond what was asked, for reading the figures.
    std::chrono::nanoseconds overshoot{0};
    std::chrono::nanoseconds sleeping{0};
    int stalls = 0;

    void moveTo(std::int32_t, std::int32_t) override { ++events; }
    void button(platform::MouseButton, bool) override { ++events; }
    platform::TypeReport typeText(std::string_view) override { return {}; }

    void startSampling() override {}
    void stopSampling() override {}
    std::vector<platform::Press> takePresses() override {
        std::vector<platform::Press> out;
        out.swap(m_presses);
        return out;
    }
    platform::Point cursorPos() override { return {}; }
    platform::Rect primaryScreen() override { return {0, 0, 1920, 1080}; }
    bool isOwnWindowAt(platform::Point) override { return false; }

    bool registerHotKey(int, unsigned, unsigned) override { return true; }
    void unregisterHotKey(int) override {}
    void setHandler(std::function<void(int)>) override {}

    void setProxy(std::string_view, bool) override {}
    void clearCache() override {}
    void runProgram(const std::filesystem::path&) override {}
    std::string executablePath() override { return "/bench/pressmark"; }

    bool notice(std::string_view, int, const void*) override { return true; }
    std::optional<std::string> askValue(std::string_view, std::string_view,
                                        std::string_view) override {
        return std::nullopt;
    }

    std::chrono::nanoseconds now() override { return Steady::now().time_since_epoch(); }
    void sleepFor(std::chrono::nanoseconds d) override {
        const auto t0 = Steady::now();
        std::this_thread::sleep_for(d);
        const auto over = Steady::now() - t0 - d;
        overshoot += over;
        sleeping += d + over;
        if (over > 2ms) {
            ++stalls;
        }
    }
    void processEvents() override {}

private:
    std::vector<platform::Press> m_presses;
};

// Hears every report of the recorder and the player, and does nothing.
class NullEvents final : public RecordingEvents, public RunEvents {
public:
    void recordingStarted() override {}
    void recordingStopped() override {}
    void blink() override {}
    void promptOpening() override {}
    void promptClosed() override {}
    void failed(Failure) override {}
};

struct Env {
    BenchBackend backend;
    NullEvents events;
    std::filesystem::path folder;

    Env() {
        backend.install();
        std::random_device random;
        do {
            folder = std::filesystem::temp_directory_path() / "pressmark-bench-";
            folder += std::to_string(random());
        } while (!std::filesystem::create_directory(folder));
    }
    ~Env() {
        platform::install({});
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // A recorded scenario of the given number of steps and base delay.
    std::filesystem::path scenario(const std::string& name, int steps, int sleepMs) const {
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict)
        // on chains of operator+ on strings.
        std::string text = "[sett]\r\nsleep=";
        text += std::to_string(sleepMs);
        text += "\r\n";
        for (int n = 1; n <= steps; ++n) {
            text += '[';
            text += std::to_string(n);
            text += "]\r\nx=";
            text += std::to_string((n * 37) % 65536);
            text += "\r\ny=";
            text += std::to_string((n * 91) % 65536);
            text += "\r\nkey=";
            text += n % 3 ? "1" : "2";
            text += "\r\n";
        }
        auto path = folder / name;
        path += ".ini";
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

namespace play {
// The speed a run of the file takes from its settings.
std::int32_t speed(const std::filesystem::path& file) {
    return scenario::loadSettings(file).value_or(scenario::Settings{}).speed;
}
} // namespace play

Env& env() {
    static Env e;
    return e;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, i == 0 ? 0 : i - 1)];
}

double msSince(Steady::time_point t0) {
    return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

// --- Google Benchmark views of the same operations ---

void BM_TickIdle(benchmark::State& state) {
    clickerRec rec(env().scenario("tick_idle", 0, 300), env().events);
    rec.start();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rec.tick());
    }
}
BENCHMARK(BM_TickIdle);

void BM_TickPressOn9999Steps(benchmark::State& state) {
    clickerRec rec(env().scenario("tick_press_gb", 9999, 300), env().events);
    rec.start();
    int i = 0;
    for (auto _ : state) {
        rec.continueAfter(i++ % 9998);
        env().backend.queuePress({960, 540});
        benchmark::DoNotOptimize(rec.tick());
    }
}
BENCHMARK(BM_TickPressOn9999Steps)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_Playback9999StepsFullSpeed(benchmark::State& state) {
    const auto file = env().scenario("full_speed_gb", 9999, 0);
    for (auto _ : state) {
        clickerPlay player(file, play::speed(file), 1, env().events);
        benchmark::DoNotOptimize(player.run());
    }
}
BENCHMARK(BM_Playback9999StepsFullSpeed)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- the figures ---

double tickIdleP99Us() {
    clickerRec rec(env().scenario("tick_idle_fig", 0, 300), env().events);
    rec.start();
    std::vector<double> us;
    us.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        const auto t0 = Steady::now();
        rec.tick();
        us.push_back(msSince(t0) * 1000.0);
    }
    return percentile(us, 99);
}

double tickPressP99Ms() {
    clickerRec rec(env().scenario("tick_press_fig", 9999, 300), env().events);
    rec.start();
    std::vector<double> ms;
    for (int i = 0; i < 300; ++i) {
        // Rewrites a step of a full file, as the last presses before the limit do.
        rec.continueAfter((i * 7919) % 9998);
        env().backend.queuePress({960, 540});
        const auto t0 = Steady::now();
        rec.tick();
        ms.push_back(msSince(t0));
    }
    return percentile(ms, 99);
}

double playbackOverheadMs() {
    const auto file = env().scenario("full_speed_fig", 9999, 0);
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        const long before = env().backend.events;
        const auto t0 = Steady::now();
        {
            clickerPlay player(file, play::speed(file), 1, env().events);
            player.run();
        }
        ms.push_back(msSince(t0));
        if (env().backend.events - before != 3 * 9999) {
            std::fprintf(stderr, "playback injected %ld events, not %d\n",
                         env().backend.events - before, 3 * 9999);
        }
    }
    return percentile(ms, 50);
}

void waitErrors(double& mean, double& p99) {
    std::vector<double> errors;
    for (const int ms : {1, 49, 99, 300, 1234}) {
        const int samples = ms > 1000 ? 8 : 20;
        double worst = 0;
        double sum = 0;
        for (int i = 0; i < samples; ++i) {
            const auto t0 = Steady::now();
            sf::Delay(ms, stopRequested);
            const double error = std::abs(msSince(t0) - ms);
            errors.push_back(error);
            worst = std::max(worst, error);
            sum += error;
        }
        std::printf("wait %d ms: mean error %.3f ms, worst %.3f ms\n", ms, sum / samples, worst);
    }
    mean = std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
    p99 = percentile(errors, 99);
}

double drift1000StepsMs() {
    const auto file = env().scenario("drift", 1000, 10);
    BenchBackend& b = env().backend;
    b.overshoot = b.sleeping = {};
    b.stalls = 0;
    const auto t0 = Steady::now();
    {
        clickerPlay player(file, play::speed(file), 1, env().events);
        player.run();
    }
    const double total = msSince(t0);
    using Ms = std::chrono::duration<double, std::milli>;
    std::printf("drift: sleeps overshot %.1f ms in all, %d of them by more than 2 ms; "
                "%.1f ms outside sleeps\n",
                Ms(b.overshoot).count(), b.stalls, total - Ms(b.sleeping).count());
    return total - 1000 * 10.0;
}

} // namespace
} // namespace pressmark

namespace {
// The figures of waits depend on how busy the machine is; say how busy it was.
void printLoad(const char* when) {
    std::ifstream in("/proc/loadavg");
    std::string load;
    if (std::getline(in, load)) {
        std::printf("load average %s: %s\n", when, load.c_str());
    }
}
} // namespace

int main(int argc, char** argv) {
    using namespace pressmark;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    printLoad("before");
    const double idle = tickIdleP99Us();
    const double press = tickPressP99Ms();
    const double overhead = playbackOverheadMs();
    double waitMean = 0;
    double waitP99 = 0;
    waitErrors(waitMean, waitP99);
    const double drift = drift1000StepsMs();
    printLoad("after");
    std::printf("FIGURE engine.tick_idle_p99_us %.3f\n", idle);
    std::printf("FIGURE engine.tick_press_p99_ms %.3f\n", press);
    std::printf("FIGURE engine.playback_overhead_ms %.1f\n", overhead);
    std::printf("FIGURE engine.wait_error_mean_ms %.3f\n", waitMean);
    std::printf("FIGURE engine.wait_error_p99_ms %.3f\n", waitP99);
    std::printf("FIGURE engine.drift_1000_steps_ms %.1f\n", drift);
    return 0;
}
