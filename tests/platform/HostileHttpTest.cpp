#include "monitor/SiteMonitor.h"
#include "notify/DirectEventPump.h"
#include "notify/ErrorUrlPoster.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/BoundedCall.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/HostileHttpServer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/ScopedProxyEnvironment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>

using namespace vantrel;
using namespace vantrel::test;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Behaviour = HostileHttpServer::Behaviour;

namespace {

// The limits of these tests: short, so that every stalled case ends within
// seconds. The body bound is the program's own.
CurlHttpClient shortLimits() {
    return CurlHttpClient(seconds(2), seconds(1), CurlHttpClient::kMaxPageBytes, seconds(3));
}

struct HostileCase {
    const char* what;
    Behaviour behaviour;
    int errorNumber; // the fetch's WinINet number, 0 for a fetched page
};

const HostileCase kCases[] = {
    {"accepts and never answers", Behaviour::NeverAnswer, CurlHttpClient::kErrTimeout},
    {"headers, then nothing", Behaviour::HeadersThenStall, CurlHttpClient::kErrTimeout},
    {"drips a byte at a time", Behaviour::Drip, CurlHttpClient::kErrTimeout},
    {"garbage, then closes", Behaviour::Garbage, CurlHttpClient::kErrInvalidServerResponse},
    {"garbage, then silence", Behaviour::GarbageThenStall, CurlHttpClient::kErrInvalidServerResponse},
    {"a header line without end", Behaviour::EndlessHeader, CurlHttpClient::kErrInvalidServerResponse},
};

class HostileHttpTest : public ::testing::Test {
protected:
    ScopedProxyEnvironment environment; // no proxy from the environment
};

TEST_F(HostileHttpTest, EveryMisbehaviourEndsInAFailureOfItsOwn) {
    CurlHttpClient client = shortLimits();
    for (const HostileCase& c : kCases) {
        HostileHttpServer server(c.behaviour);
        HttpRequest request;
        request.url = server.url("/page");
        HttpResponse r = BoundedCall::run(c.what, [&] { return client.perform(request); }, {&server});
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(r.errorNumber, c.errorNumber) << c.what;
        EXPECT_EQ(r.body, "") << c.what;
        // The server saw the connection end: the client let go of it.
        EXPECT_TRUE(server.waitServed(1, seconds(10))) << c.what;
    }
}

TEST_F(HostileHttpTest, EndlessBodyIsKeptUpToTheBoundAndTheStreamStops) {
    HostileHttpServer server(Behaviour::EndlessBody);
    server.setMarker("<title>Welcome</title>", 1024 * 1024);
    CurlHttpClient client; // the program's own limits
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse r = BoundedCall::run("endless body", [&] { return client.perform(request); }, {&server});

    ASSERT_TRUE(r.ok) << r.errorNumber;
    ASSERT_EQ(r.body.size(), CurlHttpClient::kMaxPageBytes);
    EXPECT_EQ(r.body.find("<title>Welcome</title>"), 1024u * 1024u);
    // Memory stays of the order of the bound, whatever the server sends.
    EXPECT_LE(r.body.capacity(), 2 * CurlHttpClient::kMaxPageBytes);

    // The client hung up, so the server's stream ended, not much past the
    // bound (what socket buffers hold on the way).
    ASSERT_TRUE(server.waitServed(1, seconds(10)));
    EXPECT_TRUE(server.clientLeft());
    EXPECT_LT(server.bytesStreamed(), 2 * CurlHttpClient::kMaxPageBytes);
}

// One check pass over a list of misbehaving sites: each site gets its own
// status, the pass ends, and a page cut at the bound is searched as far as
// it was kept.
TEST_F(HostileHttpTest, CheckPassGivesEverySiteItsOwnStatus) {
    TempDir dir;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    CurlHttpClient http = shortLimits();
    SiteMonitor engine(view, MonitorServices{&pump, &clock, &http, nullptr});
    view.engine = &engine;
    engine.applyMonitorSetting();

    std::vector<std::unique_ptr<HostileHttpServer>> hostile;
    std::vector<LoopbackServer*> servers;
    const std::string found = "Bad - Test String text Not Found";
    struct Site {
        std::string url;
        std::string status;
    };
    std::vector<Site> sites;
    for (const HostileCase& c : kCases) {
        hostile.push_back(std::make_unique<HostileHttpServer>(c.behaviour));
        sites.push_back({hostile.back()->url("/"), "404"});
    }
    for (std::size_t markerAt : {std::size_t{4096}, CurlHttpClient::kMaxPageBytes + 4096}) {
        hostile.push_back(std::make_unique<HostileHttpServer>(Behaviour::EndlessBody));
        hostile.back()->setMarker("Welcome", markerAt);
        sites.push_back({hostile.back()->url("/"), markerAt < CurlHttpClient::kMaxPageBytes ? "OK" : found});
    }
    HttpTestServer web;
    web.route("/cut", HttpTestServer::cutAndReset(std::string(300000, 'W')));
    web.route("/loop", HttpTestServer::redirect("/loop"));
    sites.push_back({web.url("/cut"), "404"});
    sites.push_back({web.url("/loop"), "404"});
    for (auto& s : hostile)
        servers.push_back(s.get());
    servers.push_back(&web);

    for (auto it = sites.rbegin(); it != sites.rend(); ++it) {
        SiteEntry e;
        e.title = "Site";
        e.url = it->url;
        e.testString = "Welcome";
        e.status = "OK";
        addSite(engine, e);
    }
    BoundedCall::run(
        "check pass", [&] { return engine.runCheckPass(), 0; }, servers);

    ASSERT_EQ(engine.sites().rowCount(), static_cast<int>(sites.size()));
    for (std::size_t i = 0; i < sites.size(); ++i)
        EXPECT_EQ(engine.sites().row(static_cast<int>(i)).status, sites[i].status) << sites[i].url;
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(HostileHttpTest, ErrorUrlPostFailsOnEveryBrokenAnswerAndTakesAnEndlessOne) {
    CurlHttpClient http = shortLimits();
    DirectEventPump pump;
    ErrorUrlPoster poster(http, pump);
    for (const HostileCase& c : kCases) {
        HostileHttpServer server(c.behaviour);
        const std::string text = "http://" + server.hostPort() + "/POST /hook $HTTPsite=one&state=down";
        EXPECT_FALSE(BoundedCall::run(c.what, [&] { return poster.postErrorUrl(text); }, {&server}))
            << c.what;
    }

    HttpTestServer web;
    web.route("/cut", HttpTestServer::cutAndReset(std::string(300000, 'W')));
    web.route("/loop", HttpTestServer::redirect("/loop"));
    for (const char* path : {"/cut", "/loop"}) {
        const std::string text = "http://" + web.hostPort() + "/POST " + path + " $HTTPa=b";
        EXPECT_FALSE(BoundedCall::run(path, [&] { return poster.postErrorUrl(text); }, {&web})) << path;
    }

    // Any response counts, also one without end: it is cut at the bound.
    HostileHttpServer endless(Behaviour::EndlessBody);
    const std::string text = "http://" + endless.hostPort() + "/POST /hook $HTTPa=b";
    EXPECT_TRUE(BoundedCall::run("endless answer", [&] { return poster.postErrorUrl(text); }, {&endless}));
    EXPECT_TRUE(endless.waitServed(1, seconds(10)));
    EXPECT_TRUE(endless.clientLeft());
}

} // namespace
