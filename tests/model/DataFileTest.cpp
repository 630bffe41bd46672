#include "model/DataFile.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantrel;
using vantrel::test::TempDir;

namespace {

struct stat statOf(const std::string& name) {
    struct stat st {};
    ::stat(name.c_str(), &st);
    return st;
}

// The names in `dir`, hidden ones included.
std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(DataFile, MissingFileIsCreatedEmpty) {
    TempDir dir;
    auto bytes = DataFile::readOrCreate("vantrel.dat");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "");
    EXPECT_TRUE(TempDir::exists("vantrel.dat"));
}

// A directory, a FIFO without a writer, a socket and a device are refused at
// once by the reader and by the save, and stay what they are.
TEST(DataFile, OnlyRegularFilesAreReadOrWritten) {
    TempDir dir;
    ::mkdir("folder", 0700);
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", "socket");
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::symlink("/dev/null", "device"), 0);

    for (const char* name : {"folder", "fifo", "socket", "device"}) {
        // Bounded: a reader that waited for a writer would hang here.
        auto outcome = std::async(std::launch::async, [name] {
            return std::make_pair(DataFile::readOrCreate(name).has_value(), DataFile::save(name, "x"));
        });
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << name << " blocks";
            ::close(::open("fifo", O_WRONLY | O_NONBLOCK)); // a writer lets a waiting reader go
        }
        const auto [read, saved] = outcome.get();
        EXPECT_FALSE(read) << name;
        EXPECT_FALSE(saved) << name;
    }
    EXPECT_TRUE(S_ISDIR(statOf("folder").st_mode));
    EXPECT_TRUE(S_ISFIFO(statOf("fifo").st_mode));
    EXPECT_TRUE(S_ISSOCK(statOf("socket").st_mode));
    EXPECT_TRUE(S_ISCHR(statOf("device").st_mode));
    EXPECT_EQ(namesIn("."), (std::vector<std::string>{"device", "fifo", "folder", "socket"}));
    ::close(sock);
}

// The atomic way keeps the mode, the owner and the group of the file it
// replaces, and gives a new file the mode the umask asks for.
TEST(DataFile, AtomicSaveKeepsModeOwnerAndGroup) {
    TempDir dir;
    TempDir::writeFile("f", "old");
    ::chmod("f", 0640);
    const ino_t before = statOf("f").st_ino;
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown("f", 4321, 4322), 0);
    }
    ASSERT_TRUE(DataFile::save("f", "new contents"));
    EXPECT_EQ(TempDir::readFile("f"), "new contents");
    const struct stat st = statOf("f");
    EXPECT_NE(st.st_ino, before); // replaced, not rewritten
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
    EXPECT_EQ(namesIn("."), std::vector<std::string>{"f"}); // no temporary file left behind

    const mode_t oldMask = ::umask(027);
    EXPECT_TRUE(DataFile::save("new", "x"));
    EXPECT_EQ(statOf("new").st_mode & 07777, 0640u);
    EXPECT_EQ(::umask(077), 027u); // the save left the process's umask alone
    EXPECT_TRUE(DataFile::save("private", "x"));
    EXPECT_EQ(statOf("private").st_mode & 07777, 0600u);
    ::umask(oldMask);
}

// A link, or a chain of them, is written through: the link stays, its target
// takes the new bytes, and the temporary file is made beside the target.
TEST(DataFile, SymbolicLinksAreWrittenThroughToTheirTarget) {
    TempDir dir;
    ::mkdir("synced", 0700);
    ::mkdir("links", 0700);
    TempDir::writeFile("synced/vantrel.dat", "old");
    ::chmod("synced/vantrel.dat", 0604);
    ASSERT_EQ(::symlink("../synced/vantrel.dat", "links/hop"), 0);
    ASSERT_EQ(::symlink("links/hop", "vantrel.dat"), 0);

    ASSERT_TRUE(DataFile::save("vantrel.dat", "new"));
    struct stat link {};
    ASSERT_EQ(::lstat("vantrel.dat", &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(::lstat("links/hop", &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(TempDir::readFile("synced/vantrel.dat"), "new");
    EXPECT_EQ(statOf("synced/vantrel.dat").st_mode & 07777, 0604u);
    EXPECT_EQ(namesIn("synced"), std::vector<std::string>{"vantrel.dat"});
    EXPECT_EQ(namesIn("."), (std::vector<std::string>{"links", "synced", "vantrel.dat"}));

    // A link made before its file: the save creates the file it names.
    ASSERT_EQ(::symlink("synced/vantrel.ini", "vantrel.ini"), 0);
    ASSERT_TRUE(DataFile::save("vantrel.ini", "settings"));
    EXPECT_EQ(TempDir::readFile("synced/vantrel.ini"), "settings");
    ASSERT_EQ(::lstat("vantrel.ini", &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));

    // A loop of links is refused and left as it is.
    ASSERT_EQ(::symlink("loop-b", "loop-a"), 0);
    ASSERT_EQ(::symlink("loop-a", "loop-b"), 0);
    EXPECT_FALSE(DataFile::save("loop-a", "x"));
    ASSERT_EQ(::lstat("loop-a", &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
}

// A file with a second hard link is rewritten in place, so both names keep
// showing the same contents, longer or shorter than before.
TEST(DataFile, HardLinkedFileIsWrittenInPlace) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", "old contents");
    ::chmod("vantrel.dat", 0620);
    ASSERT_EQ(::link("vantrel.dat", "backup.dat"), 0);
    const ino_t inode = statOf("vantrel.dat").st_ino;

    for (const std::string& bytes : {std::string(100000, 'L'), std::string("short")}) {
        ASSERT_TRUE(DataFile::save("vantrel.dat", bytes));
        EXPECT_EQ(TempDir::readFile("backup.dat"), bytes);
        EXPECT_EQ(TempDir::readFile("vantrel.dat"), bytes);
        const struct stat st = statOf("vantrel.dat");
        EXPECT_EQ(st.st_ino, inode);
        EXPECT_EQ(st.st_nlink, 2u);
        EXPECT_EQ(st.st_mode & 07777, 0620u);
    }
    EXPECT_EQ(namesIn("."), (std::vector<std::string>{"backup.dat", "vantrel.dat"}));
}

// In a folder that takes no new files, a writable file is written in place;
// a read-only file, and a file that does not exist yet, are refused. In place,
// a save that cannot be whole (over the file size limit) is refused before a
// byte of the old contents is overwritten.
TEST(DataFile, WritableFileInReadOnlyFolderIsWrittenInPlace) {
    TempDir dir;
    ::mkdir("ro", 0700);
    TempDir::writeFile("ro/vantrel.dat", "old");
    TempDir::writeFile("ro/vantrel.ini", "old settings");
    ::chmod("ro/vantrel.ini", 0444);
    const ino_t inode = statOf("ro/vantrel.dat").st_ino;
    ::chmod("ro", 0555);

    ASSERT_TRUE(DataFile::save("ro/vantrel.dat", "new contents"));
    EXPECT_EQ(TempDir::readFile("ro/vantrel.dat"), "new contents");
    EXPECT_EQ(statOf("ro/vantrel.dat").st_ino, inode);
    EXPECT_FALSE(DataFile::save("ro/vantrel.ini", "new"));
    EXPECT_EQ(TempDir::readFile("ro/vantrel.ini"), "old settings");
    EXPECT_FALSE(DataFile::save("ro/new.dat", "new"));
    EXPECT_EQ(namesIn("ro"), (std::vector<std::string>{"vantrel.dat", "vantrel.ini"}));

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(DataFile::save("ro/vantrel.dat", std::string(10000, 'x')) ? 1 : 0);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save over the limit did not fail";
    EXPECT_EQ(TempDir::readFile("ro/vantrel.dat"), "new contents");

    // A read-only file in a writable folder is refused as well.
    ::chmod("ro", 0700);
    EXPECT_FALSE(DataFile::save("ro/vantrel.ini", "new"));
    EXPECT_EQ(TempDir::readFile("ro/vantrel.ini"), "old settings");
}

// A kept copy never replaces a file: the same stamp twice gives a second name.
TEST(DataFile, KeptCopiesGetNamesOfTheirOwn) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", "unreadable\r");
    ::chmod("vantrel.dat", 0604);
    EXPECT_EQ(DataFile::keepCopy("vantrel.dat", "first", "20261209-170000"),
              "vantrel.dat.unreadable-20261209-170000");
    EXPECT_EQ(DataFile::keepCopy("vantrel.dat", "second", "20261209-170000"),
              "vantrel.dat.unreadable-20261209-170000-2");
    EXPECT_EQ(TempDir::readFile("vantrel.dat.unreadable-20261209-170000"), "first");
    EXPECT_EQ(TempDir::readFile("vantrel.dat.unreadable-20261209-170000-2"), "second");
    EXPECT_EQ(statOf("vantrel.dat.unreadable-20261209-170000").st_mode & 07777, 0604u);
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), "unreadable\r");
}
