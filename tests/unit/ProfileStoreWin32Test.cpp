// What the store promises on Windows beyond the portable rules: a new step
// appended in place, and a writer killed at any moment (KilledWriter.h), here
// a child process that TerminateProcess ends.

#include "scenario/ProfileStore.h"

#include "KilledWriter.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

namespace pressmark {
namespace {

using test::TempFolder;

constexpr const wchar_t* kFileVariable = L"PRESSMARK_KILLED_WRITER_FILE";

// The child: this test program again, running only the test below.
TEST(ProfileStoreWin32, DISABLED_RecordsUntilKilled) {
    wchar_t file[MAX_PATH * 4] = {};
    ASSERT_GT(GetEnvironmentVariableW(kFileVariable, file, MAX_PATH * 4), 0U);
    test::recordUntilKilled(file);
}

std::uint64_t fileIndex(const std::filesystem::path& file) {
    const HANDLE h = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
    return ok ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}

// Each new step goes to the end of the same file (its index stays), and no
// temporary file is left by a writer killed while it wrote.
TEST(ProfileStoreWin32, KilledWhileRecordingLeavesOnlyWholeStepsAppendedInPlace) {
    TempFolder dir;
    const auto file = dir / "rec.ini";
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    wchar_t self[MAX_PATH * 4] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH * 4), 0U);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=ProfileStoreWin32.DISABLED_RecordsUntilKilled";
    ASSERT_TRUE(SetEnvironmentVariableW(kFileVariable, file.c_str()));
    std::mt19937 rng(std::random_device{}());
    std::size_t largest = 0;
    std::uint64_t index = 0;
    // Starting a process under Wine takes about a second: fewer kills than
    // on Linux, each one while the child is surely appending, and later.
    for (int kill = 0; kill < 16; ++kill) {
        if (kill % 8 == 0) {
            test::writeBytes(file, test::killedStart(page));
            index = fileIndex(file);
        }
        const std::uintmax_t before = std::filesystem::file_size(file);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::filesystem::file_size(file) == before &&
               std::chrono::steady_clock::now() < deadline &&
               WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
            Sleep(1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 60000));
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        ASSERT_EQ(code, 9U) << "the writer failed before it was killed";
        largest = std::max<std::size_t>(largest, std::filesystem::file_size(file));
        test::expectOnlyWholeSteps(file, kill);
        EXPECT_EQ(fileIndex(file), index) << "kill " << kill << ": rewritten instead of appended";
        EXPECT_EQ(dir.entryCount(), 1U) << "kill " << kill << ": a temporary file was left";
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(largest, page + page / 2) << "the writers were killed too soon to cross a page";
}

} // namespace
} // namespace pressmark
