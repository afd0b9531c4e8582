#include "scenario/clicker.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

namespace pressmark {
namespace {

using test::readBytes;
using test::TempFolder;

TEST(Clicker, OpensWithoutTouchingTheFile) {
    TempFolder dir;
    const auto file = dir / "new.ini";
    {
        clicker c(file);
        EXPECT_FALSE(c.fileExisted());
        EXPECT_EQ(c.path(), file);
        ASSERT_NE(c.file(), nullptr);
        EXPECT_EQ(c.file()->path(), file);
        EXPECT_EQ(c.file()->readInteger("sett", "sleep", 0), 0);
        EXPECT_FALSE(std::filesystem::exists(file)) << "only a write creates the file";
        c.file()->writeInteger("sett", "sleep", 300);
        EXPECT_FALSE(c.fileExisted()) << "the flag is never updated";
    }
    EXPECT_EQ(readBytes(file), "[sett]\r\nsleep=300\r\n") << "the object never deletes its file";
    clicker again(file);
    EXPECT_TRUE(again.fileExisted());
    EXPECT_EQ(again.file()->readInteger("sett", "sleep", 0), 300);
}

TEST(Clicker, EmptyPathHasNoAccessor) {
    clicker c{std::filesystem::path()};
    EXPECT_EQ(c.file(), nullptr);
    EXPECT_FALSE(c.fileExisted());
}

} // namespace
} // namespace pressmark
