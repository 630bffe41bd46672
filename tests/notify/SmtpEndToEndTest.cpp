#include "model/SystemClock.h"
#include "notify/DirectEventPump.h"
#include "notify/SmtpMailer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::ChildProcess;
using vantrel::test::TempDir;

namespace {

// The system's Python first: a Python of a user's own may lack the package.
std::string pythonWithAiosmtpd() {
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (ChildProcess::run({python, "-c", "import aiosmtpd"}))
            return python;
    return {};
}

TEST(SmtpEndToEnd, RealServerStoresTheMessage) {
    const std::string python = pythonWithAiosmtpd();
    if (python.empty())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    TempDir dir;
    const int port = ChildProcess::freePort();
    ChildProcess server({python, "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(port), "-c",
                         "aiosmtpd.handlers.Mailbox", dir.path() + "/mail"},
                        dir.path() + "/server.log");
    ASSERT_TRUE(ChildProcess::waitForPort(port, std::chrono::seconds(20))) << TempDir::readFile("server.log");

    DirectEventPump pump; // the real pauses
    SystemClock clock;
    SmtpMailer mailer(13000, pump, clock);
    const bool sent =
        mailer.sendMail("ops@example.org", "\r\nSite: Home\r\n.\r\nStatus: 404\r\n", "ops@example.org",
                        "127.0.0.1:" + std::to_string(port), "Vantrel Test Email");
    ASSERT_TRUE(sent) << mailer.errorText;

    std::string stored;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "/mail/new"))
        stored = TempDir::readFile(entry.path());
    EXPECT_NE(stored.find("Subject: Vantrel Test Email\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("From: ops@example.org\n"), std::string::npos);
    EXPECT_NE(stored.find("X-RcptTo: ops@example.org\n"), std::string::npos);
    // The lone "." came through as a line of the body, not as its end.
    EXPECT_NE(stored.find("\nSite: Home\n.\nStatus: 404\n"), std::string::npos) << stored;
}

} // namespace
