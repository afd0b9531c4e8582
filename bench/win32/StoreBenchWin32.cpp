// The profile store as pressmark.exe uses it, under Wine: the recorder's
// writes on its 10 ms tick and a playback's reads, with the Windows store's
// own file operations. No load beside it and no per-operation table: the
// figures the Linux benchmark gives first, for the same 9999-step file.
//
// Figures: store.click_write_p99_ms and store.click_write_median_ms (the
// last 2000 clicks of a 9999-step recording), store.setting_write_p99_ms,
// store.full_playback_reads_ms, store.file_kb.

#include "../StoreLoad.h"

#include <cstdio>

int main() {
    using namespace pressmark::bench;
    const Folder folder;
    const auto recorded = folder.path / "recorded.ini";
    const auto beforeMeasured = folder.path / "before-measured.ini";
    const std::vector<double> clickMs = recordClicks(recorded, beforeMeasured);
    const double fileKb = static_cast<double>(std::filesystem::file_size(recorded)) / 1024.0;
    const std::vector<double> settingMs = settingWrites(beforeMeasured);
    std::int64_t check = 0;
    const double playbackMs = playbackMedianMs(recorded, check);
    std::printf("%d-step file, %.1f KB; %zu measured clicks; playback checksum %lld\n", kSteps,
                fileKb, clickMs.size(), static_cast<long long>(check));
    std::printf("FIGURE store.click_write_p99_ms %.4f\n", percentile(clickMs, 0.99));
    std::printf("FIGURE store.click_write_median_ms %.4f\n", percentile(clickMs, 0.5));
    std::printf("FIGURE store.setting_write_p99_ms %.4f\n", percentile(settingMs, 0.99));
    std::printf("FIGURE store.full_playback_reads_ms %.3f\n", playbackMs);
    std::printf("FIGURE store.file_kb %.1f\n", fileKb);
    return 0;
}
