#include "platform/MailPasswordFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
