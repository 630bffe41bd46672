#include "model/DataFile.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vantrel;
using vantrel::test::TempDir;

TEST(DataFile, MissingFileIsCreatedEmpty) {
    TempDir dir;
    auto bytes = DataFile::readOrCreate("vantrel.dat");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "");
    EXPECT_TRUE(TempDir::exists("vantrel.dat"));
}

TEST(DataFile, DirectoryInPlaceOfFileCannotBeRead) {
    TempDir dir;
    ::mkdir("vantrel.dat", 0700);
    EXPECT_FALSE(DataFile::readOrCreate("vantrel.dat").has_value());
    EXPECT_FALSE(DataFile::writeAtomically("vantrel.dat", "x"));
}

TEST(DataFile, AtomicWriteReplacesAndKeepsMode) {
    TempDir dir;
    TempDir::writeFile("f", "old");
    ::chmod("f", 0640);
    ASSERT_TRUE(DataFile::writeAtomically("f", "new contents"));
    EXPECT_EQ(TempDir::readFile("f"), "new contents");
    struct stat st {};
    ::stat("f", &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // no temporary file left behind
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("."))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(DataFile, ReadOnlyFileOrDirectoryIsRefusedAndKept) {
    TempDir dir;
    TempDir::writeFile("f", "old");
    ::chmod("f", 0444);
    EXPECT_FALSE(DataFile::writeAtomically("f", "new"));
    EXPECT_EQ(TempDir::readFile("f"), "old");
    ::chmod("f", 0644);
    ::mkdir("ro", 0700);
    TempDir::writeFile("ro/g", "old");
    ::chmod("ro", 0555);
    EXPECT_FALSE(DataFile::writeAtomically("ro/g", "new"));
    EXPECT_EQ(TempDir::readFile("ro/g"), "old");
}
