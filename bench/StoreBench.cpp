// The profile store under the two loads that matter: the recorder's writes
// on its 10 ms tick, and a full-speed playback's reads.
//
// Figures: store.click_write_p99_ms and store.click_write_median_ms, the
// writeStrings of x, y and key into a new step section, taken over the last
// 2000 clicks of a 9999-step recording; store.click_write_p99_loaded_ms, the
// same 2000 clicks made again while two compile jobs run beside them (a
// loop of `c++ -O2` over a source that includes the heavy standard headers,
// or, without a compiler, two loops that burn the CPU and write files the
// way a compiler writes its objects); store.setting_write_p99_ms, a change of
// [sett] sleep in that file, which replaces the file and syncs it to the disk
// (never made on the recording tick); store.full_playback_reads_ms, every
// read a playback of that file makes (median of several runs, each on a
// fresh store as the player creates one); store.file_kb, the file's size.

#include "StoreLoad.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using pressmark::ProfileStore;
using namespace pressmark::bench;

fs::path g_recorded; // the 9999-step file, for the per-operation table

// Two jobs that load the machine the way a build beside the recorder does,
// each in its own process group so that stopping it stops its compiler too.
class BuildBeside {
public:
    explicit BuildBeside(const fs::path& folder) {
        const fs::path source = folder / "job.cpp";
        std::ofstream(source) << "#include <algorithm>\n#include <iostream>\n#include <map>\n"
                                 "#include <regex>\n#include <string>\n#include <vector>\n"
                                 "int job(const std::string& s) {\n"
                                 "    std::map<std::string, std::vector<int>> m;\n"
                                 "    std::smatch r;\n"
                                 "    std::regex_search(s, r, std::regex(\"(a+)(b*)\"));\n"
                                 "    m[s].push_back(static_cast<int>(r.size()));\n"
                                 "    std::cout << m.size();\n"
                                 "    return static_cast<int>(m.begin()->second.size());\n}\n";
        const bool compiler = std::system("command -v c++ >/dev/null 2>&1") == 0;
        m_kind = compiler ? "two c++ -O2 compile loops" : "two busy CPU and file-writing loops";
        for (int i = 0; i < 2; ++i) {
            const std::string object = (folder / ("job" + std::to_string(i) + ".o")).string();
            const std::string script =
                compiler
                    ? "while :; do c++ -O2 -c '" + source.string() + "' -o '" + object + "'; done"
                    : "while :; do head -c 8000000 /dev/urandom | gzip -1 > '" + object + "'; done";
            posix_spawnattr_t attr;
            posix_spawnattr_init(&attr);
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
            posix_spawnattr_setpgroup(&attr, 0);
            const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
            pid_t pid = -1;
            if (posix_spawn(&pid, "/bin/sh", nullptr, &attr, const_cast<char**>(argv), environ) ==
                0) {
                m_jobs.push_back(pid);
            }
            posix_spawnattr_destroy(&attr);
        }
        // Long enough for both compilers to be past their start-up.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    ~BuildBeside() {
        for (const pid_t pid : m_jobs) {
            ::killpg(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BuildBeside(const BuildBeside&) = delete;
    BuildBeside& operator=(const BuildBeside&) = delete;
    const char* kind() const { return m_kind; }
    std::size_t running() const { return m_jobs.size(); }

private:
    const char* m_kind;
    std::vector<pid_t> m_jobs;
};

void BM_ClickWrite(benchmark::State& state) {
    Folder folder;
    const fs::path file = folder.path / "copy.ini";
    fs::copy_file(g_recorded, file);
    ProfileStore store(file);
    std::mt19937 rng(7);
    int step = kSteps + 1;
    for (auto _ : state) {
        click(store, step++, rng);
    }
}
BENCHMARK(BM_ClickWrite)->Unit(benchmark::kMicrosecond)->Iterations(1000);

void BM_ReadStepKey(benchmark::State& state) {
    ProfileStore store(g_recorded);
    std::mt19937 rng(11);
    for (auto _ : state) {
        const std::string s = std::to_string(1 + rng() % kSteps);
        benchmark::DoNotOptimize(store.readInteger(s, "x", 0));
    }
}
BENCHMARK(BM_ReadStepKey)->Unit(benchmark::kNanosecond);

void BM_FullPlayback(benchmark::State& state) {
    for (auto _ : state) {
        ProfileStore store(g_recorded);
        benchmark::DoNotOptimize(playback(store));
    }
}
BENCHMARK(BM_FullPlayback)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    Folder folder;
    g_recorded = folder.path / "recorded.ini";

    const fs::path beforeMeasured = folder.path / "before-measured.ini";
    const std::vector<double> clickMs = recordClicks(g_recorded, beforeMeasured);
    const double fileKb = static_cast<double>(fs::file_size(g_recorded)) / 1024.0;

    // The same clicks again under load, one per 2 ms: a recorder never
    // writes faster than its tick, and back-to-back writes would leave the
    // jobs no time to run between them.
    std::vector<double> loadedMs;
    {
        const BuildBeside jobs(folder.path);
        ProfileStore store(beforeMeasured);
        std::mt19937 rng(1);
        for (int step = kSteps - kMeasuredClicks + 1; step <= kSteps; ++step) {
            const auto t0 = Clock::now();
            click(store, step, rng);
            loadedMs.push_back(ms(Clock::now() - t0));
            std::this_thread::sleep_until(t0 + std::chrono::milliseconds(2));
        }
        std::printf("loaded clicks beside %s (%zu running)\n", jobs.kind(), jobs.running());
    }

    const std::vector<double> settingMs = settingWrites(beforeMeasured);
    std::int64_t check = 0;
    const double playbackMs = playbackMedianMs(g_recorded, check);
    std::printf("%d-step file, %.1f KB; %zu measured clicks; playback checksum %lld\n", kSteps,
                fileKb, clickMs.size(), static_cast<long long>(check));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("FIGURE store.click_write_p99_ms %.4f\n", percentile(clickMs, 0.99));
    std::printf("FIGURE store.click_write_median_ms %.4f\n", percentile(clickMs, 0.5));
    std::printf("FIGURE store.click_write_p99_loaded_ms %.4f\n", percentile(loadedMs, 0.99));
    std::printf("FIGURE store.setting_write_p99_ms %.4f\n", percentile(settingMs, 0.99));
    std::printf("FIGURE store.full_playback_reads_ms %.3f\n", playbackMs);
    std::printf("FIGURE store.file_kb %.1f\n", fileKb);
    return 0;
}
