#include "notify/ErrorUrlPoster.h"
#include "notify/DirectEventPump.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ScopedProxyEnvironment.h"

#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::HttpTestServer;
using vantrel::test::ScopedProxyEnvironment;

namespace {

TEST(ErrorUrlPosterSplit, ServerPathAndDataPieces) {
    using Parts = ErrorUrlPoster::Parts;
    const struct {
        std::string text;
        Parts parts;
    } cases[] = {
        {"http://alerts.example.org/POST /notify $HTTPsite=one&state=down",
         {"alerts.example.org", "/notify", "site=one&state=down"}},
        {"http://h/POST /cgi bin/n.pl $HTTPmsg=site down&x = 1", {"h", "/cgibin/n.pl", "msg=sitedown&x=1"}},
        {"http://h:8080/POST /n $HTTPa=b", {"h:8080", "/n", "a=b"}},
        {"http://h/POST /n a=b", {"h", "", "http://h/POST/na=b"}},
        {"http://h/POST", {"h", "", "http://h/POST"}},
        {"http://h/POST  /n  $HTTP$HTTPa=$HTTPb", {"h", "/n", "a=b"}},
        {"http://http://h/POST/POST /n $HTTPa", {"h", "/n", "a"}},
        {" $HTTPa=b", {"", "", "a=b"}},
        {"", {"", "", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorUrlPoster::split(c.text), c.parts) << c.text;
}

class ErrorUrlPosterTest : public ::testing::Test {
protected:
    ScopedProxyEnvironment environment;
    HttpTestServer server;
    CurlHttpClient http{std::chrono::seconds(5), std::chrono::seconds(2)};
    DirectEventPump pump;
    ErrorUrlPoster poster{http, pump};
};

TEST_F(ErrorUrlPosterTest, PostsTheFormAndIgnoresTheStatus) {
    server.route("/notify", HttpTestServer::status(500, "Internal Server Error", "broken"));
    EXPECT_TRUE(
        poster.postErrorUrl("http://" + server.hostPort() + "/POST /notify $HTTPsite=one&msg=site down"));

    const std::string request = server.lastRequest();
    EXPECT_TRUE(request.starts_with("POST /notify HTTP/1.1\r\n")) << request;
    EXPECT_NE(request.find("\r\nHost: " + server.hostPort() + "\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nUser-Agent: vantrel\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_TRUE(request.ends_with("\r\n\r\nsite=one&msg=sitedown")) << request;
}

TEST_F(ErrorUrlPosterTest, GoesThroughTheEnvironmentsProxy) {
    server.route("http://alerts.invalid/notify", HttpTestServer::ok("taken"));
    environment.setHttpProxy(server.url(""));
    EXPECT_TRUE(poster.postErrorUrl("http://alerts.invalid/POST /notify $HTTPa=b"));
    EXPECT_TRUE(server.lastRequest().starts_with("POST http://alerts.invalid/notify HTTP/1.1\r\n"));
}

TEST_F(ErrorUrlPosterTest, UnreachableOrForeignTargetsFail) {
    EXPECT_FALSE(poster.postErrorUrl("http://alerts.invalid/POST /notify $HTTPa=b"));
    server.route("/reset", HttpTestServer::reset());
    EXPECT_FALSE(poster.postErrorUrl("http://" + server.hostPort() + "/POST /reset $HTTPa=b"));
    // A server piece that is not a plain host is not sent anywhere.
    const std::size_t before = server.requests().size();
    EXPECT_FALSE(poster.postErrorUrl("http://user@" + server.hostPort() + "/POST /x $HTTPa=b"));
    EXPECT_FALSE(poster.postErrorUrl("http://" + server.hostPort() + "/x/POST /y $HTTPa=b"));
    EXPECT_FALSE(poster.postErrorUrl("http://" + server.hostPort() + "/POST /x\r\nX-Injected:1 $HTTPa=b"));
    EXPECT_FALSE(poster.postErrorUrl(" $HTTPa=b"));
    EXPECT_EQ(server.requests().size(), before);
}

} // namespace
