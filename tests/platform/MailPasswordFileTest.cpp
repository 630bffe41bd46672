#include "platform/MailPasswordFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vantrel;
using vantrel::test::TempDir;

TEST(MailPasswordFile, FirstLineOfAPrivateFileAndNothingFromAnOpenOne) {
    TempDir dir;
    TempDir::writeFile("pw", "s3cret word\r\nsecond line\r\n");
    ::chmod("pw", 0600);
    MailPasswordFile::Result r = MailPasswordFile::read("pw");
    EXPECT_EQ(r.status, MailPasswordFile::Status::Ok);
    EXPECT_EQ(r.password, "s3cret word");

    for (mode_t open : {0640, 0604, 0660}) {
        ::chmod("pw", open);
        r = MailPasswordFile::read("pw");
        EXPECT_EQ(r.status, MailPasswordFile::Status::TooOpen) << open;
        EXPECT_EQ(r.password, "");
        EXPECT_NE(r.message.find("chmod 600 pw"), std::string::npos) << r.message;
    }

    EXPECT_EQ(MailPasswordFile::read("absent").status, MailPasswordFile::Status::Missing);
    EXPECT_EQ(MailPasswordFile::read(".").status, MailPasswordFile::Status::Unreadable);
    EXPECT_EQ(MailPasswordFile::read("").status, MailPasswordFile::Status::Missing);
}

// As the super-user: a link to another user's private file is not followed,
// and that file itself is refused as not ours. (Run as an ordinary user, the
// other user's file is played by one whose owner cannot be changed, so only
// the link is tried.)
TEST(MailPasswordFile, NeitherALinkNorAnotherUsersFile) {
    TempDir dir;
    TempDir::writeFile("theirs", "their secret\n");
    ::chmod("theirs", 0600);
    ASSERT_EQ(::symlink("theirs", "link"), 0);
    MailPasswordFile::Result r = MailPasswordFile::read("link");
    EXPECT_EQ(r.status, MailPasswordFile::Status::Unreadable);
    EXPECT_EQ(r.password, "");
    EXPECT_EQ(r.message,
              "The mail password file link is a symbolic link, so Vantrel does not use it. Name the "
              "file itself.");
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the super-user can give a file to another user";
    ASSERT_EQ(::chown("theirs", 65534, 65534), 0);
    r = MailPasswordFile::read("theirs");
    EXPECT_EQ(r.status, MailPasswordFile::Status::NotOwned);
    EXPECT_EQ(r.password, "");
    EXPECT_EQ(r.message, "The mail password file theirs belongs to another user (uid 65534), so Vantrel does "
                         "not use it. Keep it in a file of your own.");
}
