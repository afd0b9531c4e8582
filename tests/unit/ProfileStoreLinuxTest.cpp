// What the store promises on Linux beyond the portable rules: a write that
// fails part-way, permissions and links, temporary files, a new step
// appended in place and killed at any moment, what reaches the disk when,
// and every way another program can change the file behind a store's cache.

#include "base/AppError.h"
#include "recorder/clickerRec.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"

#include "EngineFixture.h"
#include "KilledWriter.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Every file and folder this program syncs, as (device, inode): these stand
// in for the C library's calls in the whole test program, and make them.
std::vector<std::pair<dev_t, ino_t>> g_synced;

namespace {
int noteSync(int fd, long call) {
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        g_synced.emplace_back(st.st_dev, st.st_ino);
    }
    return static_cast<int>(::syscall(call, fd));
}
} // namespace

extern "C" int fsync(int fd) {
    return noteSync(fd, SYS_fsync);
}
extern "C" int fdatasync(int fd) {
    return noteSync(fd, SYS_fdatasync);
}

namespace pressmark {
namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

TEST(ProfileStoreLinux, FailedWriteLeavesTheOldFileAndSaysWhy) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    const std::string old = "[s]\r\nk=old\r\n";
    writeBytes(file, old);
    ProfileStore store(file);
    ASSERT_EQ(store.readString("s", "k", ""), "old");

    // A full disk, as far as this process can tell: writes past 64 bytes fail.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        store.writeString("s", "k", std::string(1000, 'n'));
    } catch (const AppError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Unable to write to " + pathToUtf8(file));
    EXPECT_EQ(readBytes(file), old);
    EXPECT_EQ(dir.entryCount(), 1U) << "the temporary file must be removed";
    EXPECT_EQ(store.readString("s", "k", ""), "old");
    store.writeString("s", "k", "new");
    EXPECT_EQ(readBytes(file), "[s]\r\nk=new\r\n");
}

TEST(ProfileStoreLinux, FileInAFolderThatTakesNoNewFilesStaysAsItWas) {
    const std::string before = readBytes("/proc/version");
    ProfileStore store("/proc/version");
    EXPECT_THROW(store.writeString("s", "k", "v"), AppError);
    EXPECT_EQ(readBytes("/proc/version"), before);
}

TEST(ProfileStoreLinux, KeepsTheFilesPermissionsAndLinks) {
    TempFolder dir;
    const auto real = dir / "real.ini";
    const auto link = dir / "link.ini";
    writeBytes(real, "[s]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    std::filesystem::create_symlink("real.ini", link);
    ProfileStore store(link);
    store.writeString("s", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(real), "[s]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600U);

    ProfileStore fresh(dir / "new.ini");
    fresh.writeString("s", "k", "1");
    ASSERT_EQ(::stat((dir / "new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0644, 0644U);
}

// ---------------------------------------------------------------- temporary files

void setAge(const std::filesystem::path& file, int seconds) {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec -= seconds;
    const timespec times[2] = {t, t};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(ProfileStoreLinux, SavesBesideTheTemporaryNamesOfAnEarlierRunWithTheSamePid) {
    TempFolder dir;
    const std::string pid = std::to_string(::getpid());
    for (int n = 0; n < 64; ++n) {
        writeBytes(dir / (".s.ini.tmp-" + pid + "-" + std::to_string(n)), "[s]\r\nx=");
    }
    ProfileStore store(dir / "s.ini");
    store.writeString("s", "x", "1");
    store.writeString("s", "x", "2");
    EXPECT_EQ(readBytes(dir / "s.ini"), "[s]\r\nx=2\r\n");
    EXPECT_EQ(dir.entryCount(), 65U) << "fresh ones may be a live writer's";
}

TEST(ProfileStoreLinux, RemovesOnlyTheTemporaryFilesNoLiveWriterHolds) {
    TempFolder dir;
    writeBytes(dir / "s.ini", "[s]\r\nx=1\r\n");
    const std::vector<std::string> stale{".s.ini.tmp-4242-0", ".s.ini.tmp-7-0123456789abcdef"};
    const std::vector<std::string> kept{".s.ini.tmp-1-fresh0", ".s.ini.tmp-x-1",
                                        ".t.ini.tmp-1-1",      "s.ini.tmp-1-1",
                                        ".s.ini.tmp-1-",       ".s.ini.tmp-5-locked"};
    for (const std::string& name : stale) {
        writeBytes(dir / name, "[s]\r\nx=");
        setAge(dir / name, 60);
    }
    for (const std::string& name : kept) {
        writeBytes(dir / name, "[s]\r\nx=");
        setAge(dir / name, 60);
    }
    writeBytes(dir / ".s.ini.tmp-1-aaaa", "fresh: maybe a writer that has not locked it yet");
    // A writer that has stalled for a long time still holds its lock.
    const int held = ::open((dir / ".s.ini.tmp-5-locked").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    ProfileStore(dir / "s.ini").readString("s", "x", "");
    EXPECT_TRUE(std::filesystem::exists(dir / stale[0])) << "a read removes nothing";
    ProfileStore(dir / "s.ini").writeString("s", "x", "2");
    ::close(held);
    for (const std::string& name : stale) {
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    }
    for (const std::string& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    }
    EXPECT_TRUE(std::filesystem::exists(dir / ".s.ini.tmp-1-aaaa"));
    EXPECT_EQ(readBytes(dir / "s.ini"), "[s]\r\nx=2\r\n");
}

// ---------------------------------------------------------------- a new step appended in place

// A new section goes to the end of the file in place, never across a page:
// blanks fill the page first when it would. The writer's cache follows.
TEST(ProfileStoreLinux, NewSectionAppendedInPlaceWithinOnePage) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::string block = "[9]\r\nx=1\r\ny=2\r\nkey=1\r\n";
    struct Case {
        std::string tail;     // the file's last bytes
        std::size_t room;     // bytes left in its last page
        std::string expected; // what follows the old bytes
    };
    const std::vector<Case> cases{
        {"\r\n", 100, block},
        {"\r\n", block.size(), block},
        {"\r\n", block.size() - 1, std::string(block.size() - 3, ' ') + "\r\n" + block},
        {"\r\n", 1, " " + block},
        {"x=5", 100, "\r\n" + block},
        {"x=5", 2, "\r\n" + block},
        {"x=5", 1, "\n" + block},
        {"x=5", 3, " \r\n" + block},
        {"\r", 2, "\r\n" + block},
        {"\r", 1, " " + block},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        const auto file = dir / "s.ini";
        const std::string tail = c.tail == "x=5" ? "\r\nx=5" : c.tail;
        const std::string value(2 * page - c.room - 7 - tail.size(), 'v');
        const std::string old = "[1]\r\nk=" + value + tail;
        writeBytes(file, old);
        struct stat before {};
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        ProfileStore store(file);
        ASSERT_EQ(store.sections().size(), 1U);
        store.writeStrings("9", {{"x", "1"}, {"y", "2"}, {"key", "1"}});

        const std::string after = readBytes(file);
        EXPECT_EQ(after.substr(0, old.size()), old);
        EXPECT_EQ(after.substr(old.size()), c.expected) << c.tail << " " << c.room;
        EXPECT_EQ((after.size() - block.size()) / page, (after.size() - 1) / page)
            << "the new section crosses a page";
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, before.st_ino) << "rewritten instead of appended";
        const auto readsAsBefore = [&](const ProfileStore& s) {
            EXPECT_EQ(s.sections(), (std::vector<std::string>{"1", "9"}));
            EXPECT_EQ(s.readString("9", "key", ""), "1");
            EXPECT_EQ(s.readString("1", "k", ""), value.substr(0, 2047));
            EXPECT_EQ(s.readString("1", "x", "none"), c.tail == "x=5" ? "5" : "none");
        };
        readsAsBefore(store);
        readsAsBefore(ProfileStore(file));
        store.writeString("9", "y", "22");
        EXPECT_EQ(ProfileStore(file).readString("9", "y", ""), "22");
        EXPECT_EQ(ProfileStore(file).readString("1", "x", "none"), c.tail == "x=5" ? "5" : "none");
    }
}

// Killed with SIGKILL at random moments while it records (KilledWriter.h).
TEST(ProfileStoreLinux, KilledWhileRecordingLeavesOnlyWholeSteps) {
    TempFolder dir;
    const auto file = dir / "rec.ini";
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::mt19937 rng(std::random_device{}());
    std::size_t largest = 0;
    for (int kill = 0; kill < 200; ++kill) {
        if (kill % 40 == 0) {
            writeBytes(file, test::killedStart(page));
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            test::recordUntilKilled(file);
        }
        // The last kill of each round waits until the file is past a page's
        // end, however slowly a loaded machine lets the writers go.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::error_code ec;
        while (kill % 40 == 39 && std::filesystem::file_size(file, ec) <= page + page / 2 &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 4000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed before it was killed";
        largest = std::max(largest, std::filesystem::file_size(file));
        test::expectOnlyWholeSteps(file, kill);
        if (HasFatalFailure()) {
            return;
        }
    }
    EXPECT_GT(largest, page + page / 2) << "the writers were killed too soon to cross a page";
}

// ---------------------------------------------------------------- what reaches the disk when

bool synced(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           std::find(g_synced.begin(), g_synced.end(), std::make_pair(st.st_dev, st.st_ino)) !=
               g_synced.end();
}

// A recorded click is appended without a sync (the tick cannot wait for
// the disk); the recording's end syncs them all, whether Ctrl+W or the step
// limit ends it. A deleted scenario is gone from the disk at once.
class ReachesTheDisk : public EngineTest {};

TEST_F(ReachesTheDisk, RecordedClicksWhenTheRecordingEndsAndADeleteAtOnce) {
    for (const bool atLimit : {false, true}) {
        Recording recording(events);
        ASSERT_TRUE(recording.start(folder, atLimit ? "limit" : "stop"));
        recording.current()->continueAfter(atLimit ? 9998 : 0);
        fake.press(platform::MouseButton::Left, {10, 10});
        g_synced.clear();
        recording.tick();
        ASSERT_EQ(recording.current()->stepCount(), atLimit ? 9999 : 1);
        EXPECT_FALSE(synced(file(atLimit ? "limit" : "stop"))) << "a click waited for the disk";
        if (atLimit) {
            recording.tick();
        } else {
            recording.stop();
        }
        ASSERT_FALSE(recording.active());
        EXPECT_TRUE(synced(file(atLimit ? "limit" : "stop"))) << "at the limit: " << atLimit;
    }

    const auto gone = writeScenario("gone", "[sett]\n");
    g_synced.clear();
    std::error_code ec;
    removeScenarioFile(gone, ec);
    ASSERT_FALSE(ec);
    EXPECT_FALSE(std::filesystem::exists(file("gone")));
    EXPECT_TRUE(synced(folder)) << "the folder was not synced after the delete";
}

// ---------------------------------------------------------------- every read sees the last write

// "Another program" below is plain file calls the store cannot tell apart
// from one. Each case runs on the file itself and through a symbolic link,
// where the store cannot watch the file and compares identities instead.
class SeesOtherWriters : public ::testing::TestWithParam<bool> {
protected:
    TempFolder dir;
    std::filesystem::path real = dir / "real.ini";
    std::filesystem::path path() const { return GetParam() ? dir / "link.ini" : real; }
    void SetUp() override {
        writeBytes(real, "[s]\r\nx=1\r\n");
        if (GetParam()) {
            std::filesystem::create_symlink("real.ini", dir / "link.ini");
        }
    }
    timespec mtime() const {
        struct stat st {};
        EXPECT_EQ(::stat(real.c_str(), &st), 0);
        return st.st_mtim;
    }
    void setMtime(const std::filesystem::path& file, timespec t) {
        const timespec times[2] = {t, t};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    // Same size, same modification time, another inode.
    void replaceKeepingTimes(std::string_view bytes) {
        const timespec t = mtime();
        const auto temp = dir / "other-program.tmp";
        writeBytes(temp, bytes);
        setMtime(temp, t);
        ASSERT_EQ(::rename(temp.c_str(), real.c_str()), 0);
    }
    void overwriteInPlace(std::string_view bytes) {
        const int fd = ::open(real.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
};

TEST_P(SeesOtherWriters, ReplacementWithSameSizeAndTime) {
    ProfileStore store(path());
    ASSERT_EQ(store.readString("s", "x", ""), "1");
    replaceKeepingTimes("[s]\r\nx=2\r\n");
    EXPECT_EQ(store.readString("s", "x", ""), "2");
}

TEST_P(SeesOtherWriters, InPlaceRewriteWithNewTime) {
    ProfileStore store(path());
    ASSERT_EQ(store.readString("s", "x", ""), "1");
    timespec t = mtime();
    overwriteInPlace("[s]\r\nx=3\r\n");
    t.tv_sec += 1;
    setMtime(real, t);
    EXPECT_EQ(store.readString("s", "x", ""), "3");
}

TEST_P(SeesOtherWriters, AfterOurOwnWrite) {
    ProfileStore writer(path());
    ProfileStore reader(path());
    ASSERT_EQ(reader.readString("s", "x", ""), "1");
    writer.writeString("s", "x", "5");
    EXPECT_EQ(reader.readString("s", "x", ""), "5");
    EXPECT_EQ(ProfileStore(path()).readString("s", "x", ""), "5");
    replaceKeepingTimes("[s]\r\nx=6\r\n");
    EXPECT_EQ(writer.readString("s", "x", ""), "6");
    writer.writeString("s", "y", "7");
    EXPECT_EQ(readBytes(real), "[s]\r\nx=6\r\ny=7\r\n") << "a write starts from the current file";
}

// A snapshot holds the version it saw for its reads, and tells by the
// version's generation and presence what changed once it ends.
TEST_P(SeesOtherWriters, ASnapshotReadsOneVersionAndTheNextLookSeesTheChange) {
    ProfileStore store(path());
    const auto before = store.version();
    ASSERT_TRUE(before.present);
    {
        const ProfileStore::Snapshot snapshot(store);
        replaceKeepingTimes("[s]\r\nx=2\r\n");
        EXPECT_EQ(store.readString("s", "x", ""), "1");
        EXPECT_EQ(store.version().generation, before.generation);
    }
    EXPECT_EQ(store.readString("s", "x", ""), "2");
    EXPECT_NE(store.version().generation, before.generation);
    std::filesystem::remove(real);
    EXPECT_FALSE(store.version().present);
}

TEST_P(SeesOtherWriters, RemovalAndCreation) {
    ProfileStore store(path());
    ASSERT_EQ(store.sections().size(), 1U);
    std::filesystem::remove(real);
    EXPECT_EQ(store.readString("s", "x", "gone"), "gone");
    EXPECT_TRUE(store.sections().empty());
    writeBytes(real, "[t]\r\nx=4\r\n");
    EXPECT_EQ(store.readString("t", "x", ""), "4");
}

INSTANTIATE_TEST_SUITE_P(Access, SeesOtherWriters, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ThroughLink" : "Direct"; });

TEST(ProfileStoreLinux, SeesAnInPlaceRewriteThatRestoresTheTime) {
    TempFolder dir;
    const auto file = dir / "s.ini";
    writeBytes(file, "[s]\r\nx=1\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    ProfileStore store(file);
    ASSERT_EQ(store.readString("s", "x", ""), "1");
    writeBytes(file, "[s]\r\nx=8\r\n");
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(store.readString("s", "x", ""), "8");
}

} // namespace
} // namespace pressmark
