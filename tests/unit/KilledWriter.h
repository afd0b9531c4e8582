#pragma once

// The kill test of the store on each system: a child process records steps
// until it is killed at a random moment, and the file it leaves must hold
// every step it finished, each whole, and nothing of the step it was
// writing. Step n's keys follow from n, so the check needs no log.

#include "scenario/ProfileStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace pressmark::test {

inline std::string killedX(long n) {
    return std::to_string(n * 7919 % 65536);
}
inline std::string killedY(long n) {
    return std::to_string(n * 104729 % 65536);
}
inline const char* killedKey(long n) {
    return n % 3 == 0 ? "2" : "1";
}

// What the file is started over with now and then, so that the checks stay
// quick: [sett] and a comment that end just short of a page.
inline std::string killedStart(std::size_t page) {
    std::string start = "[sett]\r\nsleep=300\r\n;";
    start += std::string(page - 60 - start.size(), '-') + "\r\n";
    return start;
}

// The child's work: the next steps after those in the file, until killed.
[[noreturn]] inline void recordUntilKilled(const std::filesystem::path& file) {
    try {
        ProfileStore store(file);
        for (long n = static_cast<long>(store.sections().size());; ++n) {
            const std::string xs = killedX(n);
            const std::string ys = killedY(n);
            store.writeStrings(std::to_string(n), {{"x", xs}, {"y", ys}, {"key", killedKey(n)}});
        }
    } catch (...) {
    }
    std::_Exit(1);
}

inline void expectOnlyWholeSteps(const std::filesystem::path& file, int kill) {
    ProfileStore store(file);
    const std::vector<std::string> names = store.sections();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(names[0], "sett");
    for (std::size_t n = 1; n < names.size(); ++n) {
        ASSERT_EQ(names[n], std::to_string(n)) << "kill " << kill;
        const auto step = static_cast<long>(n);
        ASSERT_EQ(store.readString(names[n], "x", "-"), killedX(step)) << "kill " << kill;
        ASSERT_EQ(store.readString(names[n], "y", "-"), killedY(step)) << "kill " << kill;
        ASSERT_EQ(store.readString(names[n], "key", "-"), killedKey(step)) << "kill " << kill;
    }
}

} // namespace pressmark::test
