#pragma once

// The store's two loads, shared by the benchmark of each system: a recording
// of 9999 clicks as the recorder writes them, and every read of a playback.

#include "scenario/ProfileStore.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace pressmark::bench {

using Clock = std::chrono::steady_clock;

constexpr int kSteps = 9999;
constexpr int kMeasuredClicks = 2000;

inline double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[at];
}

// A fresh folder for the benchmark's files, removed with them.
struct Folder {
    std::filesystem::path path;
    Folder() {
        std::random_device rd;
        path = std::filesystem::temp_directory_path() / ("pressmark-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
};

// One recorded click, as the recorder writes it.
inline void click(ProfileStore& store, int step, std::mt19937& rng) {
    const std::string x = std::to_string(rng() % 65536);
    const std::string y = std::to_string(rng() % 65536);
    const std::string key = (rng() % 4 == 0) ? "2" : "1";
    store.writeStrings(std::to_string(step), {{"x", x}, {"y", y}, {"key", key}});
}

// Records kSteps clicks into file and returns the times of the last
// kMeasuredClicks; the file as it was before them is copied to
// beforeMeasured.
inline std::vector<double> recordClicks(const std::filesystem::path& file,
                                        const std::filesystem::path& beforeMeasured) {
    std::vector<double> clickMs;
    ProfileStore store(file);
    store.writeInteger("sett", "sleep", 300);
    std::mt19937 rng(1);
    for (int step = 1; step <= kSteps; ++step) {
        if (step == kSteps - kMeasuredClicks + 1) {
            std::filesystem::copy_file(file, beforeMeasured);
        }
        const auto t0 = Clock::now();
        click(store, step, rng);
        const auto t1 = Clock::now();
        if (step > kSteps - kMeasuredClicks) {
            clickMs.push_back(ms(t1 - t0));
        }
    }
    return clickMs;
}

// Every read of one playback: the settings, the section list, then each
// step's keys in the player's order.
inline std::int64_t playback(const ProfileStore& store) {
    std::int64_t sum =
        store.readInteger("sett", "sleep", 0) + store.readInteger("sett", "repeat", 1);
    sum += static_cast<std::int64_t>(store.readString("sett", "Comments", "").size());
    const std::size_t count = std::min<std::size_t>(store.sections().size(), kSteps);
    for (std::size_t n = 1; n + 1 <= count; ++n) {
        const std::string s = std::to_string(n);
        sum += store.readInteger(s, "x", 0) + store.readInteger(s, "y", 0);
        sum += store.readInteger(s, "key", 0) + store.readInteger(s, "sleep", 0);
        sum += static_cast<std::int64_t>(store.readString(s, "text", "").size());
        sum += static_cast<std::int64_t>(store.readString(s, "setproxy", "").size());
        sum += store.readBool(s, "ccookies", false) ? 1 : 0;
    }
    return sum;
}

// The median time of several full playbacks, each on a fresh store as the
// player creates one; check collects their sums so that none is optimised
// away.
inline double playbackMedianMs(const std::filesystem::path& file, std::int64_t& check) {
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        const auto t0 = Clock::now();
        ProfileStore store(file);
        check += playback(store);
        runs.push_back(ms(Clock::now() - t0));
    }
    return percentile(runs, 0.5);
}

// A change of [sett] sleep, 50 times: each replaces the file.
inline std::vector<double> settingWrites(const std::filesystem::path& file) {
    std::vector<double> out;
    ProfileStore store(file);
    for (int n = 0; n < 50; ++n) {
        const auto t0 = Clock::now();
        store.writeInteger("sett", "sleep", 300 + n);
        out.push_back(ms(Clock::now() - t0));
    }
    return out;
}

} // namespace pressmark::bench
