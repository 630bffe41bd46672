#include "monitor/PageFetcher.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/ScopedProxyEnvironment.h"

#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::HttpTestServer;
using vantrel::test::RecordingEventPump;
using vantrel::test::ScopedProxyEnvironment;

namespace {

class PageFetcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A proxy in the environment must not matter to a page fetch.
        environment.setHttpProxy("http://127.0.0.1:9/");
    }

    ScopedProxyEnvironment environment;
    HttpTestServer server;
    CurlHttpClient http{std::chrono::seconds(5), std::chrono::seconds(2)};
    RecordingEventPump pump;
    PageFetcher fetcher{http, pump};
};

TEST_F(PageFetcherTest, FetchesThePageDirectlyAsVantrel) {
    std::string page = "<html>" + std::string(5000, 'p') + "</html>";
    page[100] = '\0';
    server.route("/site", HttpTestServer::ok(page));

    ASSERT_TRUE(fetcher.fetchPage(server.url("/site")));
    EXPECT_TRUE(fetcher.pageText == page);
    EXPECT_EQ(pump.blockingCalls, 1);

    const std::string request = server.lastRequest();
    EXPECT_TRUE(request.starts_with("GET /site HTTP/1.1\r\n")) << request;
    for (const char* header :
         {"User-Agent: Vantrel 1.0", "Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"})
        EXPECT_NE(request.find(std::string("\r\n") + header + "\r\n"), std::string::npos) << header;
}

TEST_F(PageFetcherTest, FailureLeavesNoPageAndANumberUntilTheNextFailure) {
    server.route("/site", HttpTestServer::ok("fine"));
    server.route("/reset", HttpTestServer::reset());
    ASSERT_TRUE(fetcher.fetchPage(server.url("/site")));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(fetcher.fetchPage("http://no-such-site.invalid/"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "OpenUrl failed: 12007\n");
    EXPECT_EQ(fetcher.pageText, "");
    EXPECT_EQ(fetcher.lastFetchError, "12007");

    EXPECT_TRUE(fetcher.fetchPage(server.url("/site")));
    EXPECT_EQ(fetcher.pageText, "fine");
    EXPECT_EQ(fetcher.lastFetchError, "12007");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(fetcher.fetchPage(server.url("/reset")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fetcher.lastFetchError, "12031");
    EXPECT_EQ(fetcher.pageText, "");
}

} // namespace
