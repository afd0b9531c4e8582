// What the store promises on Linux beyond the portable rules: a write that
// fails part-way, permissions and links, and every way another program can
// change the file behind a store's cache.

#include "scenario/AppError.h"
#include "scenario/ProfileStore.h"
#include "scenario/ScenarioFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
