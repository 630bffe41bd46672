#include "platform/CurlHttpClient.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ScopedProxyEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace vantrel;
using vantrel::test::ChildProcess;
using vantrel::test::FullBacklogListener;
using vantrel::test::HttpTestServer;
using vantrel::test::ScopedProxyEnvironment;

namespace {

// Every byte value occurs, NUL included, in no short repeating pattern.
std::string binaryBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return body;
}

int count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

HttpRequest requestFor(const std::string& url) {
    HttpRequest request;
    request.url = url;
    return request;
}

class CurlHttpClientTest : public ::testing::Test {
protected:
    HttpResponse get(const std::string& url, std::vector<std::string> headers = {}) {
        HttpRequest request = requestFor(url);
        request.userAgent = "Agent 1.0";
        request.headers = std::move(headers);
        return client.perform(request);
    }

    ScopedProxyEnvironment environment;
    HttpTestServer server;
    // Short limits so that the silent-server cases end quickly.
    CurlHttpClient client{std::chrono::seconds(5), std::chrono::seconds(1)};
};

TEST_F(CurlHttpClientTest, GetSendsAgentAndHeadersAndKeepsEveryByte) {
    const std::string body = binaryBody(5 * 1024 * 1024 + 13);
    server.route("/page", HttpTestServer::ok(body));
    HttpResponse r = get(server.url("/page"), {"Accept: */*", "Cache-Control: no-cache"});
    ASSERT_TRUE(r.ok) << r.errorNumber;
    EXPECT_EQ(r.body.size(), body.size());
    EXPECT_TRUE(r.body == body);
    EXPECT_EQ(r.statusCode, 200);
    EXPECT_EQ(r.bytesReceived, static_cast<long long>(body.size()));
    EXPECT_GE(r.firstByteMs, r.connectMs);
    EXPECT_GE(r.totalMs, r.firstByteMs);
    EXPECT_EQ(r.tlsMs, -1); // plain http has no handshake

    const std::string request = server.lastRequest();
    EXPECT_TRUE(request.starts_with("GET /page HTTP/1.1\r\n")) << request;
    EXPECT_EQ(count(request, "\r\nUser-Agent: Agent 1.0\r\n"), 1) << request;
    EXPECT_EQ(count(request, "\r\nAccept: */*\r\n"), 1) << request;
    EXPECT_EQ(count(request, "\r\nCache-Control: no-cache\r\n"), 1) << request;
}

TEST_F(CurlHttpClientTest, ErrorPagesEmptyChunkedAndRedirectedBodiesAreThePage) {
    server.route("/missing", HttpTestServer::status(404, "Not Found", "<h1>gone</h1>"));
    server.route("/empty", HttpTestServer::ok(""));
    const std::string long_text = binaryBody(3000);
    server.route("/chunked", HttpTestServer::chunked(long_text, 7));
    server.route("/old", HttpTestServer::redirect("/new"));
    server.route("/new", HttpTestServer::ok("moved here"));

    for (const auto& [path, page] :
         std::vector<std::pair<std::string, std::string>>{{"/missing", "<h1>gone</h1>"},
                                                          {"/empty", ""},
                                                          {"/chunked", long_text},
                                                          {"/old", "moved here"}}) {
        HttpResponse r = get(server.url(path));
        EXPECT_TRUE(r.ok) << path;
        EXPECT_TRUE(r.body == page) << path;
    }
    EXPECT_TRUE(server.lastRequest().starts_with("GET /new HTTP/1.1\r\n"));
}

TEST_F(CurlHttpClientTest, PostSendsBodyAndContentTypeAtOnce) {
    server.route("/form", HttpTestServer::status(500, "Internal Server Error", "oops"));
    HttpRequest request = requestFor(server.url("/form"));
    request.method = HttpRequest::Method::Post;
    request.userAgent = "vantrel";
    request.headers = {"Content-Type: application/x-www-form-urlencoded"};
    request.body = "site=one&state=down&pad=" + std::string(3000, 'x'); // long enough for curl's Expect
    HttpResponse r = client.perform(request);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.body, "oops");

    const std::string sent = server.lastRequest();
    EXPECT_TRUE(sent.starts_with("POST /form HTTP/1.1\r\n")) << sent;
    EXPECT_EQ(count(sent, "\r\nContent-Type: application/x-www-form-urlencoded\r\n"), 1) << sent;
    EXPECT_EQ(count(sent, "\r\nUser-Agent: vantrel\r\n"), 1);
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    EXPECT_TRUE(sent.ends_with("\r\n\r\n" + request.body));
}

TEST_F(CurlHttpClientTest, EnvironmentProxyIsUsedOnlyWhenAsked) {
    HttpTestServer proxy;
    proxy.route("http://site.invalid/form", HttpTestServer::ok("via proxy"));
    environment.setHttpProxy(proxy.url(""));
    server.route("/page", HttpTestServer::ok("direct"));

    HttpResponse direct = get(server.url("/page"));
    EXPECT_TRUE(direct.ok);
    EXPECT_EQ(direct.body, "direct");
    EXPECT_TRUE(proxy.requests().empty());

    HttpRequest post = requestFor("http://site.invalid/form");
    post.method = HttpRequest::Method::Post;
    post.body = "a=b";
    post.useEnvironmentProxy = true;
    HttpResponse viaProxy = client.perform(post);
    EXPECT_TRUE(viaProxy.ok) << viaProxy.errorNumber;
    EXPECT_EQ(viaProxy.body, "via proxy");
    EXPECT_TRUE(proxy.lastRequest().starts_with("POST http://site.invalid/form HTTP/1.1\r\n"));
}

TEST_F(CurlHttpClientTest, FailuresCarryWinInetNumbersAndNoBody) {
    const int closedPort = ChildProcess::freePort(); // nothing listens there
    server.route("/garbage", HttpTestServer::raw("hello there\r\n\r\n"));
    server.route("/nothing", HttpTestServer::raw(""));
    server.route("/reset", HttpTestServer::reset());
    server.route("/cut", HttpTestServer::cutAndReset(std::string(200000, 'a')));
    server.route("/loop", HttpTestServer::redirect("/loop"));
    server.route("/toftp", HttpTestServer::redirect("ftp://127.0.0.1/file"));
    server.route("/silent", HttpTestServer::silent());

    const struct {
        std::string url;
        int expected;
    } cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort) + "/", 12029},
        {"http://no-such-host.invalid/", 12007},
        {"ftp://127.0.0.1/file", 12006},
        {"file:///etc/passwd", 12006},
        {"127.0.0.1/page", 12006},
        {"http://", 12005},
        {server.url("/garbage"), 12152},
        {server.url("/nothing"), 12152},
        {server.url("/reset"), 12031},
        {server.url("/cut"), 12031},
        {server.url("/loop"), 12156},
        {server.url("/toftp"), 12006},
        {server.url("/silent"), 12002},
    };
    for (const auto& c : cases) {
        HttpResponse r = get(c.url);
        EXPECT_FALSE(r.ok) << c.url;
        EXPECT_EQ(r.errorNumber, c.expected) << c.url;
        EXPECT_EQ(r.body, "") << c.url;
    }

    FullBacklogListener unanswered;
    if (unanswered.full()) {
        CurlHttpClient impatient{std::chrono::milliseconds(300), std::chrono::seconds(1)};
        EXPECT_EQ(impatient.perform(requestFor("http://127.0.0.1:" + std::to_string(unanswered.port()) + "/"))
                      .errorNumber,
                  12002);
    }
}

TEST_F(CurlHttpClientTest, ACancelFlagEndsARequestThatWaitsForAnAnswer) {
    server.route("/silent", HttpTestServer::silent());
    CurlHttpClient patient; // the program's own limits: 30 s without data
    std::atomic<bool> cancel{false};
    HttpRequest request = requestFor(server.url("/silent"));
    request.cancel = &cancel;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    HttpResponse r = patient.perform(request);
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorNumber, CurlHttpClient::kErrCancelled);
    EXPECT_LT(took, std::chrono::seconds(10));
    // Already set: nothing is sent.
    const auto asked = server.requests().size();
    EXPECT_EQ(patient.perform(request).errorNumber, CurlHttpClient::kErrCancelled);
    EXPECT_EQ(server.requests().size(), asked);
}

TEST_F(CurlHttpClientTest, EndlessBodyIsCutAtTheBoundAndKept) {
    const std::string body = binaryBody(CurlHttpClient::kMaxPageBytes + 1024 * 1024);
    server.route("/huge", HttpTestServer::ok(body));
    CurlHttpClient bounded; // the program's own limits
    HttpResponse r = bounded.perform(requestFor(server.url("/huge")));
    ASSERT_TRUE(r.ok) << r.errorNumber;
    ASSERT_EQ(r.body.size(), CurlHttpClient::kMaxPageBytes);
    EXPECT_TRUE(r.body == std::string_view(body).substr(0, CurlHttpClient::kMaxPageBytes));
}

} // namespace

TEST_F(CurlHttpClientTest, BatchAnswersInTheOrderOfItsRequestsWhateverEndsFirst) {
    HttpTestServer pages(true);
    pages.route("/hang", HttpTestServer::silent());
    pages.route("/a", HttpTestServer::ok("page a"));
    pages.route("/b", HttpTestServer::chunked(binaryBody(5000), 700));
    std::vector<HttpRequest> requests(5);
    const std::string urls[] = {pages.url("/hang"), pages.url("/a"), "ftp://127.0.0.1/x",
                                "http://127.0.0.1:1/", pages.url("/b")};
    for (size_t i = 0; i < requests.size(); ++i) {
        requests[i].url = urls[i];
        requests[i].headers = {"Accept: */*"};
    }
    const std::vector<HttpResponse> all = client.performAll(requests, 3);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].errorNumber, CurlHttpClient::kErrTimeout);
    EXPECT_TRUE(all[1].ok);
    EXPECT_EQ(all[1].body, "page a");
    EXPECT_EQ(all[2].errorNumber, CurlHttpClient::kErrUnrecognizedScheme);
    EXPECT_EQ(all[3].errorNumber, CurlHttpClient::kErrCannotConnect);
    EXPECT_EQ(all[4].body, binaryBody(5000));
    EXPECT_EQ(all[4].statusCode, 200);
    EXPECT_EQ(all[4].certDaysLeft, -1); // http: no certificate
    // Each request its own connection, as for one request at a time.
    EXPECT_EQ(pages.connections(), 3);
    // One at a time gives the same answers.
    const std::vector<HttpResponse> single = client.performAll(requests, 1);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(single[i].ok, all[i].ok) << i;
        EXPECT_EQ(single[i].errorNumber, all[i].errorNumber) << i;
        EXPECT_EQ(single[i].body, all[i].body) << i;
    }
}

// Hanging servers hold neither the batch nor more than their share of
// connections: the fast pages behind them end first, and one server never
// has more than twice the parallel number open at once.
TEST_F(CurlHttpClientTest, HangingTransfersStopCountingButKeepTheirServerCapped) {
    HttpTestServer hanging(true);
    hanging.route("/hang", HttpTestServer::silent());
    HttpTestServer pages(true);
    pages.route("/a", HttpTestServer::ok("page a"));
    std::vector<HttpRequest> requests;
    for (int i = 0; i < 10; ++i)
        requests.push_back(requestFor(i < 6 ? hanging.url("/hang") : pages.url("/a")));
    ASSERT_EQ(client.batchLimits(2).perHost, 4);
    std::vector<std::size_t> order;
    int hangingOpenAtFirstEnd = -1;
    client.performEach(requests, 2, [&](std::size_t index, HttpResponse&& response) {
        if (index < 6) {
            EXPECT_EQ(response.errorNumber, CurlHttpClient::kErrTimeout) << index;
            if (hangingOpenAtFirstEnd < 0)
                hangingOpenAtFirstEnd = hanging.connections();
        } else {
            EXPECT_EQ(response.body, "page a") << index;
        }
        order.push_back(index);
    });
    ASSERT_EQ(order.size(), 10u);
    std::vector<std::size_t> first(order.begin(), order.begin() + 4);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::size_t>{6, 7, 8, 9}));
    EXPECT_EQ(hangingOpenAtFirstEnd, 4);
    EXPECT_EQ(hanging.connections(), 6);
}

// With every descriptor in use (as a flood of connections left the program)
// a fetch fails as this machine's failure, 12001, not as the site's 12029.
TEST_F(CurlHttpClientTest, NoDescriptorLeftIsALocalFailure) {
    server.route("/page", HttpTestServer::ok("fine"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<int> filler;
    rlimit low = saved;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int fd; (fd = ::dup(2)) >= 0;)
        filler.push_back(fd);
    const HttpResponse r = get(server.url("/page"));
    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorNumber, HttpResponse::kErrOutOfHandles);
    EXPECT_EQ(get(server.url("/page")).body, "fine");
}

TEST_F(CurlHttpClientTest, RequestOptionsHeadNoRedirectsLoginsAndNoInjectedLines) {
    server.route("/moved", HttpTestServer::redirect(server.url("/page")));
    server.route("/page", HttpTestServer::ok("the page"));
    HttpRequest request = requestFor(server.url("/moved"));
    request.followRedirects = false;
    request.method = HttpRequest::Method::Head;
    request.auth = HttpRequest::Auth::Basic;
    request.authUser = "ops";
    request.authSecret = "pa ss";
    request.headers = {"X-Probe: 1", "X-Evil: a\r\nInjected: yes"};
    HttpResponse r = client.perform(request);
    ASSERT_TRUE(r.ok) << r.errorNumber;
    EXPECT_EQ(r.statusCode, 302);
    EXPECT_EQ(r.body, "");
    ASSERT_EQ(server.requests().size(), 1u); // the redirect was not followed
    const std::string sent = server.lastRequest();
    EXPECT_TRUE(sent.starts_with("HEAD /moved HTTP/1.1\r\n")) << sent;
    EXPECT_NE(sent.find("\r\nAuthorization: Basic b3BzOnBhIHNz\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\nX-Probe: 1\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("Injected"), std::string::npos) << sent;

    request.url = server.url("/page");
    request.method = HttpRequest::Method::Get;
    request.auth = HttpRequest::Auth::Bearer;
    request.authSecret = "t0ken";
    r = client.perform(request);
    EXPECT_EQ(r.body, "the page");
    EXPECT_NE(server.lastRequest().find("\r\nAuthorization: Bearer t0ken\r\n"), std::string::npos);
}
