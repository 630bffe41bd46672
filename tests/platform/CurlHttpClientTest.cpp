#include "platform/CurlHttpClient.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ScopedProxyEnvironment.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"
#include <algorithm>

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace vantrel;
using vantrel::test::ChildProcess;
using vantrel::test::FullBacklogListener;
using vantrel::test::HttpTestServer;
using vantrel::test::ScopedProxyEnvironment;
using vantrel::test::SmtpTestPeer;
using vantrel::test::TempDir;

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

class CurlHttpClientTest : public ::testing::Test {
protected:
    HttpResponse get(const std::string& url, std::vector<std::string> headers = {}) {
        HttpRequest request;
        request.url = url;
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

    HttpResponse missing = get(server.url("/missing"));
    EXPECT_TRUE(missing.ok);
    EXPECT_EQ(missing.body, "<h1>gone</h1>");

    HttpResponse empty = get(server.url("/empty"));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.body, "");

    HttpResponse chunked = get(server.url("/chunked"));
    EXPECT_TRUE(chunked.ok);
    EXPECT_TRUE(chunked.body == long_text);

    HttpResponse moved = get(server.url("/old"));
    EXPECT_TRUE(moved.ok);
    EXPECT_EQ(moved.body, "moved here");
    EXPECT_TRUE(server.lastRequest().starts_with("GET /new HTTP/1.1\r\n"));
}

TEST_F(CurlHttpClientTest, PostSendsBodyAndContentTypeAtOnce) {
    server.route("/form", HttpTestServer::status(500, "Internal Server Error", "oops"));
    HttpRequest request;
    request.method = HttpRequest::Method::Post;
    request.url = server.url("/form");
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

    HttpRequest post;
    post.method = HttpRequest::Method::Post;
    post.url = "http://site.invalid/form";
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
        HttpRequest request;
        request.url = "http://127.0.0.1:" + std::to_string(unanswered.port()) + "/";
        EXPECT_EQ(impatient.perform(request).errorNumber, 12002);
    }
}

TEST_F(CurlHttpClientTest, ACancelFlagEndsARequestThatWaitsForAnAnswer) {
    server.route("/silent", HttpTestServer::silent());
    CurlHttpClient patient; // the program's own limits: 30 s without data
    std::atomic<bool> cancel{false};
    HttpRequest request;
    request.url = server.url("/silent");
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
    HttpRequest request;
    request.url = server.url("/huge");
    HttpResponse r = bounded.perform(request);
    ASSERT_TRUE(r.ok) << r.errorNumber;
    ASSERT_EQ(r.body.size(), CurlHttpClient::kMaxPageBytes);
    EXPECT_TRUE(r.body == std::string_view(body).substr(0, CurlHttpClient::kMaxPageBytes));
}

TEST_F(CurlHttpClientTest, HttpsNeedsATrustedCertificate) {
    TempDir dir;
    if (!ChildProcess::run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
                            "-out", "cert.pem", "-days", "1", "-subj", "/CN=127.0.0.1"}))
        GTEST_SKIP() << "openssl cannot make a certificate here";
    const int port = ChildProcess::freePort();
    ChildProcess tls({"openssl", "s_server", "-quiet", "-www", "-accept", std::to_string(port), "-cert",
                      dir.path() + "/cert.pem", "-key", dir.path() + "/key.pem"});
    ASSERT_TRUE(ChildProcess::waitForPort(port, std::chrono::seconds(10)));

    HttpResponse selfSigned = get("https://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_FALSE(selfSigned.ok);
    EXPECT_EQ(selfSigned.errorNumber, 12045);
    EXPECT_EQ(selfSigned.certProblem, HttpResponse::CertProblem::SelfSigned);

    // A server that does not speak TLS at all.
    SmtpTestPeer plainText;
    plainText.addSession({SmtpTestPeer::say("220 not tls\r\n"), SmtpTestPeer::hangUp()});
    HttpResponse plain = get("https://" + plainText.hostPort() + "/");
    EXPECT_FALSE(plain.ok);
    EXPECT_EQ(plain.errorNumber, 12157);
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
    for (int i = 0; i < 10; ++i) {
        HttpRequest r;
        r.url = i < 6 ? hanging.url("/hang") : pages.url("/a");
        requests.push_back(r);
    }
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

TEST(CertificateDays, PartsOfADayCountAsAWholeOne) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 9;
    tm.tm_hour = 12;
    const std::time_t noon = ::timegm(&tm); // 09 Dec 2026 12:00:00 UTC
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 12:00:00 2026 GMT", noon), 3);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 11:59:59 2026 GMT", noon), 3);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 12:00:01 2026 GMT", noon), 4);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec  9 13:00:00 2026 GMT", noon), 1);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec  1 00:00:00 2026 GMT", noon), 0);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("2027-12-09 12:00:00 GMT", noon), 365);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("not a date", noon), -1);
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
    HttpRequest request;
    request.url = server.url("/moved");
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

TEST_F(CurlHttpClientTest, ARefusedCertificateIsNamedAndInsecureAcceptsIt) {
    TempDir dir;
    // Made five days ago: a CA for ten days, and a server certificate it
    // signed for two, which ended three days ago.
    auto past = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"faketime", "-f", "-5d", "openssl"});
        return ChildProcess::run(args);
    };
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    if (!past(with(
            {"req", "-x509", "-keyout", "ca.key", "-out", "ca.pem", "-days", "10", "-subj", "/CN=Test CA"},
            key)) ||
        !past(with({"req", "-keyout", "key.pem", "-out", "req.pem", "-subj", "/CN=127.0.0.1"}, key)) ||
        !past({"x509", "-req", "-in", "req.pem", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
               "-days", "2", "-out", "cert.pem"}))
        GTEST_SKIP() << "faketime and openssl cannot make an old certificate here";
    const int port = ChildProcess::freePort();
    ChildProcess tls({"openssl", "s_server", "-quiet", "-www", "-accept", std::to_string(port), "-cert",
                      dir.path() + "/cert.pem", "-key", dir.path() + "/key.pem"});
    ASSERT_TRUE(ChildProcess::waitForPort(port, std::chrono::seconds(10)));
    client.setCaFile(dir.path() + "/ca.pem");
    HttpRequest request;
    request.url = "https://127.0.0.1:" + std::to_string(port) + "/";
    HttpResponse refused = client.perform(request);
    EXPECT_EQ(refused.errorNumber, 12045);
    EXPECT_EQ(refused.certProblem, HttpResponse::CertProblem::Expired);
    EXPECT_GE(refused.certDaysPastEnd, 2);
    EXPECT_LE(refused.certDaysPastEnd, 3);

    request.verifyCertificate = false;
    HttpResponse accepted = client.perform(request);
    EXPECT_TRUE(accepted.ok) << accepted.errorNumber;
    EXPECT_EQ(accepted.statusCode, 200);
}
